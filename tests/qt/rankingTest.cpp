// rankingTest.cpp: the ranking submission end to end through a loopback server, and the single-instance guard.
#include <chrono>
#include <string>

#include <QInputMethodEvent>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "loopbackServer.h"
#include "scores/scores.h"
#include "shellFixture.h"

namespace {

// Checks that `request` is the form POST of exactly `body` to /whiteRanking.cgi, header for header.
inline void expectFormPost(const ReceivedRequest& request, const std::string& body)
{
    EXPECT_EQ(request.head.substr(0, request.head.find(" HTTP/1.")), "POST /whiteRanking.cgi");
    EXPECT_EQ(headerValues(request.head, "Content-Type"), "application/x-www-form-urlencoded");  // and only once
    EXPECT_EQ(headerValues(request.head, "Content-Length"), std::to_string(body.size()));
    // Fault guarded against: with "Expect: 100-continue" curl waits for a go-ahead before the body.
    EXPECT_EQ(headerValues(request.head, "Expect"), "");
    EXPECT_EQ(request.body, body);
}


class Ranking : public ShellTest {
protected:
    // Ends a game with a new best score of 1200, says Yes to the offer, types the name into the
    // field as a player would and clicks OK (noting when in `clicked`).
    void submitName(const QString& name, std::chrono::steady_clock::time_point* clicked = nullptr)
    {
        // The game reads its ranking address when it starts; this one started before the server.
        qputenv("PILARO_RANKING_URL", server.rankingUrl().c_str());
        chooseRankingUrl();
        endGameWith(1200, 0);
        ASSERT_TRUE(runUntil([] { return nameWindowWidget()->isVisible() && nameFieldWidget() != nullptr; }));
        QLineEdit* field = nameFieldWidget();
        QTest::mouseClick(field, Qt::LeftButton);
        if (name.toLatin1() == name.toUtf8()) {
            QTest::keyClicks(field, name);
        } else {
            QInputMethodEvent typed;  // Japanese arrives through the input method, committed as a whole
            typed.setCommitString(name);
            QApplication::sendEvent(field, &typed);
        }
        ASSERT_EQ(field->text(), name);
        if (clicked != nullptr) *clicked = std::chrono::steady_clock::now();
        okButtonWidget()->click();
        ASSERT_TRUE(runUntil([&] { return boxes.seen.size() >= 4; }, 20000));
        EXPECT_EQ(boxes.titles(), (std::vector<std::string>{"ハイスコア！", "ランキング登録", "登録完了", "ゲームオーバー"}));
    }
    BoxAnswerer boxes{{"ハイスコア！", QMessageBox::Ok}, {"ランキング登録", QMessageBox::Yes},
                      {"登録完了", QMessageBox::Ok}, {"ゲームオーバー", QMessageBox::Yes}};
    LoopbackServer server;
};

struct SubmissionRow {
    QString name;
    std::string bodyName;  // the name as code page 932 bytes
    std::string reply;
    std::string doneText;
};

class Submission : public Ranking, public testing::WithParamInterface<SubmissionRow> {};

TEST_P(Submission, PostsTheNameAndScoreAndShowsTheReply)
{
    const SubmissionRow& row = GetParam();
    ASSERT_TRUE(server.start(httpReply(row.reply)));
    ASSERT_NO_FATAL_FAILURE(submitName(row.name));
    ASSERT_EQ(server.requests().size(), 1u);
    expectFormPost(server.requests()[0], row.bodyName + "_1200");
    EXPECT_EQ(boxes.seen[2].text, row.doneText);
    EXPECT_FALSE(nameWindowWidget()->isVisible());
    EXPECT_EQ(game.rankingPending, 0);
    EXPECT_TRUE(runUntil([] { return game.gravityClock > 0 || current.row > 0; }, 3000));  // Yes plays on
}

// Rows: a plain name with the reply cut at the first "<"; a double-byte name, sent as code page 932,
// and a code page 932 reply; a reply of only "<" shows nothing.
INSTANTIATE_TEST_SUITE_P(Ranking, Submission, testing::Values(
    SubmissionRow{QStringLiteral("ABC"), "ABC", "abc<def", "abc11位以下はホームページにて"},
    SubmissionRow{QString::fromUtf8("名前"), "\x96\xBC\x91\x4F", "<<5\x88\xCA<br>", "5位11位以下はホームページにて"},
    SubmissionRow{QStringLiteral("A_b"), "A_b", "<<<", ""}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

TEST_F(Ranking, AServerThatNeverAnswersGivesTheEmptyBoxAfterTheTimeOut)
{
    ASSERT_TRUE(server.start("", ReplyMode::silent));
    std::chrono::steady_clock::time_point clicked, doneShown;
    boxes.whenShown = [&](const SeenBox& box) {
        if (box.title == "登録完了") doneShown = std::chrono::steady_clock::now();
    };
    ASSERT_NO_FATAL_FAILURE(submitName(QStringLiteral("ABC"), &clicked));
    EXPECT_EQ(boxes.seen[2].text, "");
    // The exchange gives up after its 10 s limit, not sooner and not much later (nor tries again).
    EXPECT_GE(doneShown - clicked, std::chrono::seconds(9));
    EXPECT_LE(doneShown - clicked, std::chrono::seconds(12));
}

TEST(SingleInstance, ASecondCopyIsRefusedAndAStaleLockIsNot)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    qputenv(lockDirVariable, folder.path().toLocal8Bit());
    const QString lockPath = folder.path() + QStringLiteral("/pilaro.lock");

    // The first copy: the real program, in a process of its own (it inherits the lock folder).
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QProcess first;
    first.setWorkingDirectory(folder.path());
    first.start(QStringLiteral(PILARO_PROGRAM), {});
    ASSERT_TRUE(first.waitForStarted(5000));
    ASSERT_TRUE(runUntil([&] { return QFile::exists(lockPath); }, 10000));

    // The second copy runs the program's own start-up here, so the test can answer its box.
    BoxAnswerer boxes{{"起動できません", QMessageBox::Ok}};
    EXPECT_EQ(pilaroMain(), 0);
    ASSERT_EQ(boxes.titles(), std::vector<std::string>{"起動できません"});
    EXPECT_EQ(boxes.seen[0].text, "既に起動しています");
    EXPECT_EQ(gameWindowWidget(), nullptr);  // no window was made
    EXPECT_EQ(first.state(), QProcess::Running);

    // A copy that dies leaves its lock behind; the next start takes it over, and Escape ends it
    // with code 0.
    first.kill();
    ASSERT_TRUE(first.waitForFinished(5000));
    ASSERT_TRUE(QFile::exists(lockPath));
    ASSERT_TRUE(startShell());
    ASSERT_TRUE(runUntil([] { return gameWindowWidget()->isActiveWindow(); }, 5000));
    sendKey(gameWindowWidget(), true, Qt::Key_Escape);
    EXPECT_EQ(runShell(), 0);
    EXPECT_EQ(gameWindowWidget(), nullptr);
    EXPECT_EQ(boxes.seen.size(), 1u);
}

}  // namespace
