// qtShell.cpp: the Qt 6 windows, timers, keys, pixels, sounds and boxes behind the platform interface.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <thread>
#include <unordered_map>

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLockFile>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSoundEffect>
#include <QStandardPaths>
#include <QStyleOptionFrame>
#include <QUrl>
#include <QValidator>
#include <QWidget>

#include "game/game.h"
#include "game/input.h"
#include "platform/platform.h"
#include "present/shellFacts.h"
#include "scores/scores.h"
#include "shell.h"

namespace {

class GameWindow;
class NameWindow;

QImage backBufferImage;  // every frame is composed here; the paint handler copies it out
QImage windowImage;      // the game window's own pixels while the row-clear wipe draws on them
QImage backdropImage;    // the background art
QImage tileSheetImage;   // the eight block tiles, one above the other
bool windowImageShown = false;  // the window shows windowImage until the next frame is composed
int windowDrawingDepth = 0;     // inside beginWindowDrawing/endWindowDrawing
bool windowImageDirty = false;  // drawn on since the window last showed it
bool downKeyHeld = false;       // the Down arrow's real state (auto-repeat ignored)
GameWindow* gameWindow = nullptr;
NameWindow* nameWindow = nullptr;
QLineEdit* nameField = nullptr;
QPushButton* okButton = nullptr;
QLockFile* instanceLock = nullptr;
QSoundEffect* sounds[soundCount] = {};  // by sound id from soundTurn, made when first played

// The benchmark's window into the program (PILARO_BENCH_TRACE set): when the first composed frame
// is painted, and every hundredth tick that runs the game, with the clock, on standard error.
bool benchTrace = false;
bool frameComposed = false;   // a frame has been composed since start-up
bool firstFrameShown = false;
unsigned long long workingTicks = 0;

long long clockNs(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void tick()
{
    if (benchTrace && gameRunning() && ++workingTicks % 100 == 0)
        std::fprintf(stderr, "ticks %llu %lld\n", workingTicks, clockNs(CLOCK_MONOTONIC));
    onTimerTick();
}

// Lines of text already rendered, white glyphs on transparent, by their UTF-8 text.
std::unordered_map<std::string, QImage> renderedTexts;
constexpr std::size_t renderedTextLimit = 64;

QImage renderText(const std::string& utf8)
{
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    const QFont font = QApplication::font();
    const QFontMetrics metrics(font);
    const QSize size(std::max(1, metrics.horizontalAdvance(text) + 2), std::max(1, metrics.height()));
    QImage glyphs(size, QImage::Format_ARGB32_Premultiplied);
    glyphs.fill(Qt::transparent);
    QPainter painter(&glyphs);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QPoint(0, metrics.ascent()), text);
    return glyphs;
}

QImage& imageOf(Surface surface)
{
    switch (surface) {
    case Surface::backBuffer: return backBufferImage;
    case Surface::gameWindow: return windowImage;
    case Surface::backdrop: return backdropImage;
    case Surface::tileSheet: return tileSheetImage;
    }
    return backBufferImage;
}

void noteDrawnOn(Surface surface)
{
    if (surface == Surface::gameWindow) windowImageDirty = true;
}

// Copies a rectangle that lies inside both images; all of them are 32-bit RGB, so a copy is one
// memmove per row, with nothing allocated.
void copyPixels(QImage& target, int x, int y, int width, int height, const QImage& source, int fromX, int fromY)
{
    const qsizetype sourceStride = source.bytesPerLine();
    const qsizetype targetStride = target.bytesPerLine();
    const uchar* sourceRow = source.constBits() + fromY * sourceStride + fromX * 4;
    uchar* targetRow = target.bits() + y * targetStride + x * 4;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    for (int row = 0; row < height; ++row) {
        std::memmove(targetRow, sourceRow, rowBytes);
        sourceRow += sourceStride;
        targetRow += targetStride;
    }
}

// Every frame starts from the whole background. Most of the back buffer is background already:
// only what was drawn since (blocks, pieces, text) differs. So the back buffer remembers those
// rectangles, gets just them back when a frame begins, and then already holds the background.
struct PixelRect {
    int x, y, width, height;
};
constexpr int drawnRectLimit = 256;  // a full well, the pieces and the panel need about 220
PixelRect drawnRects[drawnRectLimit];
int drawnRectCount = 0;
bool backBufferIsBackdrop = false;  // the back buffer holds the background except drawnRects

void noteBackBufferDrawn(int x, int y, int width, int height)
{
    if (!backBufferIsBackdrop) return;
    if (drawnRectCount == drawnRectLimit) {
        backBufferIsBackdrop = false;  // too much to keep track of: the next frame copies it all
        return;
    }
    drawnRects[drawnRectCount++] = {x, y, width, height};
}

void restoreBackdrop()
{
    if (backBufferIsBackdrop) {
        for (int i = 0; i < drawnRectCount; ++i) {
            const PixelRect& r = drawnRects[i];
            copyPixels(backBufferImage, r.x, r.y, r.width, r.height, backdropImage, r.x, r.y);
        }
    } else {
        const int height = std::min(backBufferImage.height(), backdropImage.height());
        const int width = std::min(backBufferImage.width(), backdropImage.width());
        copyPixels(backBufferImage, 0, 0, width, height, backdropImage, 0, 0);
        backBufferIsBackdrop = width == backBufferImage.width() && height == backBufferImage.height();
    }
    drawnRectCount = 0;
}

// The codes the game knows keys by (the desktop's virtual-key numbers); 0 for keys it has no use for.
int virtualKey(const QKeyEvent* event)
{
    const int key = event->key();
    switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return keyShift;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Escape: return keyEscape;
    case Qt::Key_Space: return 32;
    case Qt::Key_Left: return keyLeft;
    case Qt::Key_Up: return keyUp;
    case Qt::Key_Right: return keyRight;
    case Qt::Key_Down: return keyDown;
    default: break;
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return keyF1 + (key - Qt::Key_F1);
    return 0;
}

// Either of the program's windows holds the activation; a box or another program does not.
bool ourWindowActive();

// The game runs while either window is active. A key let go while another program had the
// keyboard is never seen here: with the activation gone from the whole program, Down counts as up.
void activationChanged()
{
    if (QApplication::activeWindow() == nullptr) downKeyHeld = false;
    onActivate(ourWindowActive());
}

// Key-downs, key-ups and ticks are the same for both windows: the game does not ask which one.
void deliverKeyDown(WindowId receiver, QKeyEvent* event)
{
    const int code = virtualKey(event);
    if (code != 0) onKeyDown(receiver, code);
}

void deliverKeyUp(QKeyEvent* event)
{
    // A held key repeats as presses only; the releases Qt puts between them are not real.
    if (event->isAutoRepeat()) return;
    onKeyUp();
}

// Follows the Down arrow for the whole program, whichever widget or box has the keyboard.
class DownKeyWatcher : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Down && !key->isAutoRepeat()) downKeyHeld = event->type() == QEvent::KeyPress;
        }
        return QObject::eventFilter(watched, event);
    }
};
DownKeyWatcher* downKeyWatcher = nullptr;

class GameWindow : public QWidget {
public:
    GameWindow()
        : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    {
        setWindowTitle(QString::fromUtf8(gameWindowTitle));
        setFixedSize(canvasWidth, canvasHeight);
        setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel comes from the back buffer: nothing to erase
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::StrongFocus);
    }
    void startTicking() { startTimer(static_cast<int>(tickPeriodMs), Qt::PreciseTimer); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        // On a high-density screen the painter scales by the window's whole factor; without
        // smoothing it samples the nearest pixel.
        QPainter painter(this);
        painter.drawImage(QRect(0, 0, canvasWidth, canvasHeight), windowImageShown ? windowImage : backBufferImage);
        if (benchTrace && frameComposed && !firstFrameShown) {
            firstFrameShown = true;
            std::fprintf(stderr, "firstFrame %lld\n", clockNs(CLOCK_REALTIME));
        }
    }
    void timerEvent(QTimerEvent*) override { tick(); }
    void keyPressEvent(QKeyEvent* event) override { deliverKeyDown(WindowId::game, event); }
    void keyReleaseEvent(QKeyEvent* event) override { deliverKeyUp(event); }
    void closeEvent(QCloseEvent* event) override
    {
        event->accept();
        QCoreApplication::exit(0);
    }
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate)
            activationChanged();
        return QWidget::event(event);
    }
};

// Takes only what the field's visible width shows: typing that would scroll it is refused.
class VisibleWidthValidator : public QValidator {
public:
    using QValidator::QValidator;
    int usableWidth = 0;
    State validate(QString& input, int&) const override
    {
        auto* field = static_cast<const QLineEdit*>(parent());
        return field->fontMetrics().horizontalAdvance(input) <= usableWidth ? Acceptable : Invalid;
    }
};

class NameField : public QLineEdit {
public:
    explicit NameField(QWidget* parent) : QLineEdit(parent)
    {
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

class NameWindow : public QWidget {
public:
    NameWindow() : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    {
        setWindowTitle(QString::fromUtf8(nameWindowTitle));
        setFixedSize(nameWindowWidth, nameWindowHeight);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::StrongFocus);
    }
    // This window ticks the game too, hidden or not: two ticks per period is the game's pace.
    void startTicking() { startTimer(static_cast<int>(tickPeriodMs), Qt::PreciseTimer); }

    // The window's size is its outer size, frame included; the frame is known once the window is up.
    void fitOuterSize()
    {
        const QSize frame = frameGeometry().size() - geometry().size();
        const QSize client(nameWindowWidth - frame.width(), nameWindowHeight - frame.height());
        if (client != size() && client.width() > 0 && client.height() > 0) setFixedSize(client);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.setPen(Qt::black);
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8(namePrompt));
    }
    void timerEvent(QTimerEvent*) override { tick(); }
    void keyPressEvent(QKeyEvent* event) override
    {
        // Keys the field or the button let through are theirs, not the game's.
        QWidget* focus = QApplication::focusWidget();
        if (focus != nullptr && focus != this) return;
        deliverKeyDown(WindowId::name, event);
    }
    void keyReleaseEvent(QKeyEvent* event) override
    {
        QWidget* focus = QApplication::focusWidget();
        if (focus != nullptr && focus != this) return;
        deliverKeyUp(event);
    }
    void closeEvent(QCloseEvent* event) override
    {
        // This window has no close box; a window manager that draws one anyway (some ignore the
        // hint) is not heard. The program's own close (Escape while this window has the keys) is.
        if (event->spontaneous()) {
            event->ignore();
            return;
        }
        event->accept();
        QCoreApplication::exit(0);
    }
    void moveEvent(QMoveEvent* event) override
    {
        fitOuterSize();
        QWidget::moveEvent(event);
    }
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate)
            activationChanged();
        return QWidget::event(event);
    }
};

bool ourWindowActive()
{
    return (gameWindow != nullptr && gameWindow->isActiveWindow()) ||
           (nameWindow != nullptr && nameWindow->isActiveWindow());
}

QWidget* widgetOf(WindowId window)
{
    if (window == WindowId::name) return nameWindow;
    return gameWindow;
}

// The wipe's drawing on the window shows now, not when the loop next paints: the thread is about
// to sleep or to go on drawing.
void showWindowDrawing()
{
    if (!windowImageDirty || gameWindow == nullptr) return;
    windowImageDirty = false;
    gameWindow->repaint();
}

// Another copy holds the lock: false. A lock left behind by a copy that died is taken over.
bool takeInstanceLock()
{
    QString dir = qEnvironmentVariable(lockDirVariable);
    if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    instanceLock = new QLockFile(dir + QStringLiteral("/pilaro.lock"));
    instanceLock->setStaleLockTime(0);
    if (instanceLock->tryLock(0)) return true;
    // Only a living holder refuses the start; a lock that cannot be made at all does not.
    return instanceLock->error() != QLockFile::LockFailedError;
}

// Reads an uncompressed 24-bit BMP from the program's resources into a 32-bit RGB image; a null
// image when it is missing or of another kind. Qt's own reader would first look through every
// image plugin installed, which costs more at start-up than the whole of this.
QImage readBitmap(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    auto number = [&](int at, int size) {
        std::uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
        return value;
    };
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return {};
    const std::uint32_t pixelsAt = number(10, 4);
    const int width = static_cast<int>(number(18, 4));
    const std::int32_t storedHeight = static_cast<std::int32_t>(number(22, 4));
    const bool bottomUp = storedHeight > 0;
    const int height = bottomUp ? storedHeight : -storedHeight;
    if (number(28, 2) != 24 || number(30, 4) != 0 || width <= 0 || height <= 0) return {};
    const qsizetype stride = (static_cast<qsizetype>(width) * 3 + 3) / 4 * 4;
    if (static_cast<qsizetype>(pixelsAt) + stride * height > bytes.size()) return {};
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const auto* source = reinterpret_cast<const std::uint8_t*>(bytes.constData()) + pixelsAt +
                             stride * (bottomUp ? height - 1 - y : y);
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x, source += 3) row[x] = qRgb(source[2], source[1], source[0]);
    }
    return image;
}

void loadArt()
{
    tileSheetImage = readBitmap(QStringLiteral(":/art/tiles.bmp"));
    backdropImage = readBitmap(QStringLiteral(":/art/backdrop.bmp"));
    backBufferIsBackdrop = false;
}

void releaseArt()
{
    tileSheetImage = QImage();
    backdropImage = QImage();
}

}  // namespace

bool isDownKeyHeld() { return downKeyHeld; }

void sleepMs(unsigned ms)
{
    showWindowDrawing();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void copyRect(Surface to, int x, int y, int width, int height, Surface from, int fromX, int fromY)
{
    QImage& target = imageOf(to);
    const QImage& source = imageOf(from);
    // Clip to both images, so a missing picture or a piece partly outside simply draws less.
    if (fromX < 0) { x -= fromX; width += fromX; fromX = 0; }
    if (fromY < 0) { y -= fromY; height += fromY; fromY = 0; }
    if (x < 0) { fromX -= x; width += x; x = 0; }
    if (y < 0) { fromY -= y; height += y; y = 0; }
    if (width > source.width() - fromX) width = source.width() - fromX;
    if (height > source.height() - fromY) height = source.height() - fromY;
    if (width > target.width() - x) width = target.width() - x;
    if (height > target.height() - y) height = target.height() - y;
    if (width <= 0 || height <= 0) return;
    if (to == Surface::backBuffer) {
        // Background over a back buffer that holds nothing else: the pixels are there already.
        const bool backdropInPlace = from == Surface::backdrop && x == fromX && y == fromY;
        if (backdropInPlace && backBufferIsBackdrop && drawnRectCount == 0) return;
        noteBackBufferDrawn(x, y, width, height);
    }
    copyPixels(target, x, y, width, height, source, fromX, fromY);
    noteDrawnOn(to);
}

void beginFrame() { restoreBackdrop(); }

void fillWhite(Surface to, int x, int y, int width, int height)
{
    QImage& target = imageOf(to);
    if (x < 0) { width += x; x = 0; }
    if (y < 0) { height += y; y = 0; }
    if (width > target.width() - x) width = target.width() - x;
    if (height > target.height() - y) height = target.height() - y;
    if (width <= 0 || height <= 0) return;
    if (to == Surface::backBuffer) noteBackBufferDrawn(x, y, width, height);
    for (int row = y; row < y + height; ++row)
        std::memset(target.scanLine(row) + x * 4, 0xFF, static_cast<std::size_t>(width) * 4);
    noteDrawnOn(to);
}

void drawText(Surface to, int x, int y, const std::string& utf8)
{
    QImage& target = imageOf(to);
    if (target.isNull() || utf8.empty()) return;
    // Laying text out is the dearest part of a frame, and the panel shows the same few lines
    // tick after tick: each line is rendered once, white on transparent, and blended from then on.
    auto found = renderedTexts.find(utf8);
    if (found == renderedTexts.end()) {
        if (renderedTexts.size() >= renderedTextLimit) renderedTexts.clear();
        found = renderedTexts.emplace(utf8, renderText(utf8)).first;
    }
    const QImage& glyphs = found->second;
    const int left = std::max(0, x);
    const int top = std::max(0, y);
    const int right = std::min(target.width(), x + glyphs.width());
    const int bottom = std::min(target.height(), y + glyphs.height());
    if (right <= left || bottom <= top) return;
    if (to == Surface::backBuffer) noteBackBufferDrawn(left, top, right - left, bottom - top);
    for (int row = top; row < bottom; ++row) {
        const auto* source = reinterpret_cast<const QRgb*>(glyphs.constScanLine(row - y)) + (left - x);
        auto* pixel = reinterpret_cast<QRgb*>(target.scanLine(row)) + left;
        for (int column = left; column < right; ++column, ++source, ++pixel) {
            const unsigned alpha = qAlpha(*source);
            if (alpha == 0) continue;
            // White over the pixel by the glyph's coverage (premultiplied: the source is alpha, alpha, alpha).
            const unsigned keep = 255 - alpha;
            *pixel = qRgb(static_cast<int>(alpha + qRed(*pixel) * keep / 255),
                          static_cast<int>(alpha + qGreen(*pixel) * keep / 255),
                          static_cast<int>(alpha + qBlue(*pixel) * keep / 255));
        }
    }
    noteDrawnOn(to);
}

void beginWindowDrawing()
{
    if (windowDrawingDepth++ > 0) return;
    // Direct drawing starts from what the window shows now: the last frame, unless the window
    // still holds earlier direct drawing.
    if (!windowImageShown) std::memcpy(windowImage.bits(), backBufferImage.constBits(), windowImage.sizeInBytes());
    windowImageShown = true;
}

void endWindowDrawing()
{
    showWindowDrawing();
    if (windowDrawingDepth > 0) --windowDrawingDepth;
}

void invalidateGameWindow()
{
    frameComposed = true;
    windowImageShown = false;
    if (gameWindow != nullptr) gameWindow->update();
}

void startSound(int soundId)
{
    static const char* const files[4] = {"qrc:/sounds/turn.wav", "qrc:/sounds/move.wav", "qrc:/sounds/rowsCleared.wav",
                                         "qrc:/sounds/hardDrop.wav"};
    const int index = soundId - soundTurn;
    if (index < 0 || index >= soundCount) return;
    // One effect at a time: a new one cuts off whatever still sounds. With no audio device the
    // effects stay silent; nothing here waits for them.
    for (QSoundEffect* effect : sounds)
        if (effect != nullptr) effect->stop();
    if (sounds[index] == nullptr) {
        sounds[index] = new QSoundEffect(gameWindow);
        sounds[index]->setSource(QUrl(QString::fromLatin1(files[index])));
    }
    sounds[index]->play();
}

BoxAnswer showMessageBox(const std::string& textUtf8, const std::string& titleUtf8, BoxButtons buttons,
                         BoxOwner owner)
{
    QWidget* parent = owner == BoxOwner::nameWindow ? nameWindow : nullptr;
    QWidget* wasActive = QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(titleUtf8), QString::fromUtf8(textUtf8),
                    buttons == BoxButtons::ok ? QMessageBox::Ok : QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);  // the server's reply is shown as it came, never as markup
    const int answer = box.exec();
    // When a box goes, the desktop hands the activation back to the window that had it; where
    // nothing does (no window manager), do it here so the game does not stay idle.
    QWidget* activeNow = QApplication::activeWindow();
    if (activeNow == nullptr || activeNow == &box || !activeNow->isVisible()) {
        QWidget* back = wasActive != nullptr && wasActive->isVisible() ? wasActive : gameWindow;
        if (back != nullptr && back->isVisible()) back->activateWindow();
    }
    if (buttons == BoxButtons::ok) return BoxAnswer::ok;
    return answer == QMessageBox::Yes ? BoxAnswer::yes : BoxAnswer::no;
}

void showNameWindow()
{
    if (nameWindow == nullptr) return;
    if (!nameWindow->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        nameWindow->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    nameWindow->show();
    nameWindow->raise();
    nameWindow->activateWindow();
    nameWindow->fitOuterSize();
    if (nameField == nullptr) {
        // Made after the window is shown, once per run; they keep their text between showings.
        // Neither takes the keyboard until clicked: keys go to the window, and so to the game.
        nameField = new NameField(nameWindow);
        nameField->setGeometry(nameFieldRect.x, nameFieldRect.y, nameFieldRect.width, nameFieldRect.height);
        nameField->setFocusPolicy(Qt::ClickFocus);
        nameField->show();
        okButton = new QPushButton(QString::fromUtf8(okButtonText), nameWindow);
        okButton->setGeometry(okButtonRect.x, okButtonRect.y, okButtonRect.width, okButtonRect.height);
        okButton->setFocusPolicy(Qt::ClickFocus);
        QObject::connect(okButton, &QPushButton::clicked, [] { onCommand(okButtonId); });
        okButton->show();
    }
}

void hideNameWindow()
{
    if (nameWindow != nullptr) nameWindow->hide();
}

std::string nameFieldText()
{
    if (nameField == nullptr) return {};
    return nameField->text().toStdString();
}

void debugOutput(const std::string& utf8) { std::cerr << utf8 << '\n'; }

void postClose(WindowId window)
{
    QWidget* widget = widgetOf(window);
    if (widget != nullptr) QMetaObject::invokeMethod(widget, "close", Qt::QueuedConnection);
}

bool startShell()
{
    // The program ends when either window closes, which the close handlers see to; Qt's own rule
    // (quit when the last visible window closes) would leave a quit behind for a later loop.
    QApplication::setQuitOnLastWindowClosed(false);
    benchTrace = qEnvironmentVariableIsSet("PILARO_BENCH_TRACE");
    if (!takeInstanceLock()) {
        showMessageBox(alreadyRunningText, alreadyRunningTitle, BoxButtons::ok, BoxOwner::none);
        delete instanceLock;
        instanceLock = nullptr;
        return false;
    }
    backBufferImage = QImage(canvasWidth, canvasHeight, QImage::Format_RGB32);
    backBufferImage.fill(Qt::black);
    windowImage = QImage(canvasWidth, canvasHeight, QImage::Format_RGB32);
    downKeyWatcher = new DownKeyWatcher;
    qApp->installEventFilter(downKeyWatcher);
    gameWindow = new GameWindow;
    gameWindow->show();
    nameWindow = new NameWindow;
    // Started together, the two timers come due in the same pass of the loop: two ticks, then one
    // paint of their frame, rather than a paint after each.
    gameWindow->startTicking();
    nameWindow->startTicking();
    chooseRankingUrl();
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    newGame();
    loadArt();
    // The window shows the dealt game from its first paint rather than a blank until the first tick.
    composeFrame();
    return true;
}

int runShell()
{
    const int code = QApplication::exec();
    releaseArt();
    for (QSoundEffect*& effect : sounds) effect = nullptr;  // owned by the game window
    delete nameWindow;
    nameWindow = nullptr;
    nameField = nullptr;
    okButton = nullptr;
    delete gameWindow;
    gameWindow = nullptr;
    delete downKeyWatcher;
    downKeyWatcher = nullptr;
    delete instanceLock;  // unlocks
    instanceLock = nullptr;
    return code;
}

int pilaroMain()
{
    if (!startShell()) return 0;
    return runShell();
}

QWidget* gameWindowWidget() { return gameWindow; }
QWidget* nameWindowWidget() { return nameWindow; }
QLineEdit* nameFieldWidget() { return nameField; }
QPushButton* okButtonWidget() { return okButton; }
