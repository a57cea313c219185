// rankingTest.cpp: the ranking submission end to end through a loopback server, and the single-instance guard.
#include <chrono>
#include <string>

#include <QApplication>
#include <QDir>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "game/game.h"
#include "loopbackServer.h"
#include "platform/platform.h"
#include "shell.h"
#include "shellFixture.h"

namespace {

// This build of the game sends its scores here (PILARO_TEST_RANKING_PORT, set by the build).
constexpr unsigned short rankingPort = PILARO_TEST_RANKING_PORT;

const QMessageBox::StandardButton ok = QMessageBox::Ok;
const QMessageBox::StandardButton yes = QMessageBox::Yes;

// New best score, Yes to the offer, the name typed into the field as a player would, then OK.
void submitName(BoxAnswerer& boxes, const QString& name,
                std::chrono::steady_clock::time_point* clicked = nullptr)
{
    boxes.answer("ハイスコア！", ok);
    boxes.answer("ランキング登録", yes);
    ASSERT_TRUE(runUntil([] { return nameWindowWidget()->isVisible() && nameFieldWidget() != nullptr; }));
    QLineEdit* field = nameFieldWidget();
    QTest::mouseClick(field, Qt::LeftButton);
    field->clear();
    bool ascii = true;
    for (QChar ch : name) ascii = ascii && ch.unicode() < 0x80;
    if (ascii) {
        QTest::keyClicks(field, name);
    } else {
        // Japanese arrives through the input method, committed as a whole.
        QInputMethodEvent typed;
        typed.setCommitString(name);
        QApplication::sendEvent(field, &typed);
    }
    ASSERT_EQ(field->text(), name);
    if (clicked != nullptr) *clicked = std::chrono::steady_clock::now();
    okButtonWidget()->click();
}

struct SubmissionRow {
    const char* label;
    QString name;
    std::string bodyName;  // the name as code page 932 bytes
    std::string reply;
    std::string doneText;
};

class Submission : public ShellTest, public testing::WithParamInterface<SubmissionRow> {};

TEST_P(Submission, PostsTheNameAndScoreAndShowsTheReply)
{
    const SubmissionRow& row = GetParam();
    LoopbackServer server;
    ASSERT_TRUE(server.start(rankingPort, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(row.reply.size()) +
                                              "\r\nConnection: close\r\n\r\n" + row.reply))
        << "port " << rankingPort << " is taken";
    BoxAnswerer boxes;
    boxes.answer("登録完了", ok);
    boxes.answer("ゲームオーバー", yes);
    endGameWith(1200, 0);
    submitName(boxes, row.name);
    ASSERT_TRUE(runUntil([&] { return boxes.seen.size() >= 4; }, 15000)) << row.label;

    ParsedRequest request = parseRequest(server.lastRequest());
    const std::string body = row.bodyName + "_1200";
    EXPECT_EQ(request.method, "POST") << row.label;
    EXPECT_EQ(request.path, "/whiteRanking.cgi") << row.label;
    int contentTypes = 0;
    EXPECT_EQ(headerValue(request, "Content-Type", &contentTypes), "application/x-www-form-urlencoded") << row.label;
    EXPECT_EQ(contentTypes, 1) << row.label;
    EXPECT_EQ(headerValue(request, "Content-Length"), std::to_string(body.size())) << row.label;
    EXPECT_EQ(request.body, body) << row.label;

    EXPECT_EQ(boxes.titles(), (std::vector<std::string>{"ハイスコア！", "ランキング登録", "登録完了", "ゲームオーバー"}));
    EXPECT_EQ(boxes.seen[2].text, row.doneText) << row.label;
    EXPECT_EQ(boxes.seen[2].owner, nullptr);
    EXPECT_FALSE(nameWindowWidget()->isVisible());
    // Yes after the submission plays on.
    EXPECT_EQ(game.rankingPending, 0);
    EXPECT_TRUE(runUntil([] { return game.gravityClock > 0 || current.row > 0; }, 3000));
}

INSTANTIATE_TEST_SUITE_P(Rows, Submission, testing::Values(
    SubmissionRow{"plain name, reply cut at the first <", QStringLiteral("ABC"), "ABC", "abc<def",
                  "abc11位以下はホームページにて"},
    SubmissionRow{"double-byte name goes as code page 932", QString::fromUtf8("名前"), "\x96\xBC\x91\x4F",
                  "<<5\x88\xCA<br>", "5位11位以下はホームページにて"},  // the reply is code page 932 too
    SubmissionRow{"a reply of only < shows nothing", QStringLiteral("A_b"), "A_b", "<<<", ""}),
    [](const testing::TestParamInfo<SubmissionRow>& info) { return "row" + std::to_string(info.index); });

TEST_F(ShellTest, AServerThatNeverAnswersGivesTheEmptyBoxAfterTheTimeOut)
{
    LoopbackServer server;
    ASSERT_TRUE(server.start(rankingPort, "", true)) << "port " << rankingPort << " is taken";
    BoxAnswerer boxes;
    boxes.answer("登録完了", ok);
    boxes.answer("ゲームオーバー", yes);
    std::chrono::steady_clock::time_point doneShown;
    boxes.whenShown("登録完了", [&] { doneShown = std::chrono::steady_clock::now(); });
    endGameWith(1200, 0);
    std::chrono::steady_clock::time_point clicked;
    ASSERT_NO_FATAL_FAILURE(submitName(boxes, QStringLiteral("ABC"), &clicked));
    ASSERT_TRUE(runUntil([&] { return boxes.seen.size() >= 4; }, 20000));
    EXPECT_EQ(boxes.seen[2].title, "登録完了");
    EXPECT_EQ(boxes.seen[2].text, "");
    // The exchange gives up after its 10 s limit, not sooner and not much later.
    EXPECT_GE(doneShown - clicked, std::chrono::seconds(9));
    EXPECT_LE(doneShown - clicked, std::chrono::seconds(12));
    EXPECT_EQ(server.requestCount(), 1);
}

TEST(SingleInstance, ASecondCopyIsRefusedAndAStaleLockIsNot)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    qputenv(lockDirVariable, folder.path().toLocal8Bit());

    // The first copy: the real program, in a process of its own.
    QProcess first;
    first.setWorkingDirectory(folder.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QString::fromLatin1(lockDirVariable), folder.path());
    first.setProcessEnvironment(environment);
    first.start(QStringLiteral(PILARO_PROGRAM), {});
    ASSERT_TRUE(first.waitForStarted(5000));
    const QString lockPath = folder.path() + QStringLiteral("/pilaro.lock");
    ASSERT_TRUE(runUntil([&] { return QFile::exists(lockPath); }, 10000));

    // The second copy runs the program's own start-up here, so the test can answer its box.
    BoxAnswerer boxes;
    boxes.answer("起動できません", ok);
    EXPECT_EQ(pilaroMain(), 0);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, "既に起動しています");
    EXPECT_EQ(boxes.seen[0].owner, nullptr);
    EXPECT_EQ(gameWindowWidget(), nullptr);  // no window was made
    EXPECT_EQ(first.state(), QProcess::Running);  // and the first copy goes on undisturbed

    // A copy that dies leaves its lock behind; the next start takes it over.
    first.kill();
    ASSERT_TRUE(first.waitForFinished(5000));
    ASSERT_TRUE(QFile::exists(lockPath));
    ASSERT_TRUE(startShell());
    EXPECT_EQ(boxes.seen.size(), 1u);
    postClose(WindowId::game);
    EXPECT_EQ(runShell(), 0);
}

TEST(Shutdown, EscapeEndsTheProgramWithCodeZero)
{
    // Escape is one of the ways to close the game window; the real program must end with code 0.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    qputenv(lockDirVariable, folder.path().toLocal8Bit());
    ASSERT_TRUE(startShell());
    ASSERT_TRUE(runUntil([] { return gameWindowWidget()->isActiveWindow(); }, 5000));
    sendKey(gameWindowWidget(), true, Qt::Key_Escape);
    EXPECT_EQ(runShell(), 0);
    EXPECT_EQ(gameWindowWidget(), nullptr);
}

}  // namespace
