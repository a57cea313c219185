// boxes.cpp: the modal message boxes, and the name window's field and OK button.
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTranslator>
#include <QValidator>

#include "platform/platform.h"
#include "present/shellFacts.h"
#include "program/program.h"
#include "shell.h"

namespace {

QLineEdit* nameField = nullptr;
QPushButton* okButton = nullptr;

// Qt's own texts (the name field's context menu) in Japanese too, like the rest of the game.
// Loaded with the first box or name window, not at start-up, which they would only slow.
void speakJapanese() {
    static QTranslator* translator = nullptr;
    if (translator != nullptr) return;
    translator = new QTranslator(qApp);
    if (translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

// A box as Windows shows it: plain buttons without icons, at least as wide as its title, and
// when it asks Yes or No, no way out but those two (Escape and the close box do nothing).
class GameBox : public QMessageBox {
public:
    GameBox(const std::string& text, const std::string& title, BoxButtons buttons, QWidget* owner)
        : QMessageBox(QMessageBox::NoIcon, QString::fromUtf8(title), QString::fromUtf8(text),
                      buttons == BoxButtons::ok ? QMessageBox::Ok : QMessageBox::Yes | QMessageBox::No, owner),
          yesNo(buttons == BoxButtons::yesNo) {
        setTextFormat(Qt::PlainText);  // the server's reply is shown as it came, never as markup
        setWindowModality(Qt::ApplicationModal);
        // A title and, for an OK box alone, a close box: no minimising or maximising a question.
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       (yesNo ? Qt::WindowFlags() : Qt::WindowCloseButtonHint));
        if (yesNo) {
            button(QMessageBox::Yes)->setText(QString::fromUtf8(yesButtonText));
            button(QMessageBox::No)->setText(QString::fromUtf8(noButtonText));
        } else {
            button(QMessageBox::Ok)->setText(QString::fromUtf8(okButtonText));
        }
        for (QAbstractButton* each : this->buttons()) each->setIcon(QIcon());
        // The window manager draws the title in a bold face, beside the window's icon and up to
        // three buttons about as wide as the title bar is high; the box makes room for all of it.
        QFont titleFont = font();
        titleFont.setBold(true);
        const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(windowTitle()) +
                               4 * style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
        auto* grid = qobject_cast<QGridLayout*>(layout());
        if (grid != nullptr)
            grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(),
                          0, 1, grid->columnCount());
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (yesNo && event->matches(QKeySequence::Cancel)) return;
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        if (yesNo) {
            event->ignore();
            return;
        }
        QMessageBox::closeEvent(event);
    }

private:
    bool yesNo;
};

// Takes only what the field's visible width shows: typing that would scroll it is refused.
class VisibleWidthValidator : public QValidator {
public:
    using QValidator::QValidator;
    int usableWidth = 0;
    State validate(QString& input, int&) const override {
        auto* field = static_cast<const QLineEdit*>(parent());
        return field->fontMetrics().horizontalAdvance(input) <= usableWidth ? Acceptable : Invalid;
    }
};

class NameField : public QLineEdit {
public:
    explicit NameField(QWidget* parent) : QLineEdit(parent) {
        auto* validator = new VisibleWidthValidator(this);
        // The same sums QLineEdit makes for its text area: the style's contents rectangle, the
        // text margins, two pixels on each side and one for the cursor.
        QStyleOptionFrame option;
        initStyleOption(&option);
        option.rect = QRect(0, 0, nameFieldRect.width, nameFieldRect.height);
        QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
        contents = contents.marginsRemoved(textMargins());
        validator->usableWidth = contents.width() - 2 * 2 - 1;
        setValidator(validator);
    }
};

}  // namespace

void showMessageBox(const std::string& textUtf8, const std::string& titleUtf8, BoxButtons buttons, BoxOwner owner) {
    speakJapanese();
    QPointer<QWidget> wasActive = QApplication::activeWindow();
    auto* box = new GameBox(textUtf8, titleUtf8, buttons, owner == BoxOwner::nameWindow ? nameWindowWidget() : nullptr);
    // Modal to the whole program (set by GameBox), as the desktop's boxes are, but shown without a
    // loop of its own: the answer comes back to the game when the box is closed.
    QObject::connect(box, &QDialog::finished, [box, wasActive, buttons] {
        const bool yes = box->clickedButton() == box->button(QMessageBox::Yes);
        box->deleteLater();
        // When a box goes, the desktop hands the activation back to the window that had it; where
        // nothing does (no window manager), do it here so the game does not stay idle.
        QWidget* activeNow = QApplication::activeWindow();
        if (activeNow == nullptr || activeNow == box || !activeNow->isVisible()) {
            QWidget* back = wasActive != nullptr && wasActive->isVisible() ? wasActive.data() : gameWindowWidget();
            if (back != nullptr && back->isVisible()) back->activateWindow();
        }
        onBoxAnswer(buttons == BoxButtons::ok ? BoxAnswer::ok : yes ? BoxAnswer::yes : BoxAnswer::no);
    });
    box->show();
}

void runMessageBox(const char* textUtf8, const char* titleUtf8) {
    speakJapanese();
    GameBox(textUtf8, titleUtf8, BoxButtons::ok, nullptr).exec();
}

void showNameWindow() {
    QWidget* window = nameWindowWidget();
    if (window == nullptr) return;
    speakJapanese();
    if (!window->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    window->show();
    window->raise();
    window->activateWindow();
    fitNameWindowToOuterSize();
    if (nameField != nullptr) return;
    // Made after the window is shown, once per run; they keep their text between showings.
    // Neither takes the keyboard until clicked: keys go to the window, and so to the game.
    nameField = new NameField(window);
    nameField->setGeometry(nameFieldRect.x, nameFieldRect.y, nameFieldRect.width, nameFieldRect.height);
    nameField->setFocusPolicy(Qt::ClickFocus);
    nameField->show();
    okButton = new QPushButton(QString::fromUtf8(okButtonText), window);
    okButton->setGeometry(okButtonRect.x, okButtonRect.y, okButtonRect.width, okButtonRect.height);
    okButton->setFocusPolicy(Qt::ClickFocus);
    QObject::connect(okButton, &QPushButton::clicked, [] { onNameConfirmed(); });
    okButton->show();
}

void hideNameWindow() {
    if (nameWindowWidget() != nullptr) nameWindowWidget()->hide();
}

std::string nameFieldText() {
    if (nameField == nullptr) return {};
    return nameField->text().toStdString();
}

QLineEdit* nameFieldWidget() { return nameField; }
QPushButton* okButtonWidget() { return okButton; }

void forgetNameControls() {
    nameField = nullptr;
    okButton = nullptr;
}
