// The error window's clock, acknowledgement and close, and the report window's form page.
#include "base/Endpoints.h"
#include "base/Forms.h"
#include "community/ProblemReportWindow.h"
#include "community/RecordingErrorWindow.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTime>

namespace {

// Stands in for the visible page: records where it was sent.
class RecordingPage : public WebBrowser {
public:
    using WebBrowser::WebBrowser;
    void Navigate(const QString& url) override { navigated.append(url); }
    void setSilent(bool) override {}
    bool silent() const override { return false; }
    QString innerText() const override { return {}; }
    QString LocationURL() const override { return navigated.value(navigated.size() - 1); }
    QString LocationName() const override { return {}; }
    void GoBack() override {}
    void Refresh() override {}
    QWidget* widget() override { return nullptr; }
    QStringList navigated;
};

class ErrorReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform = makeTestPlatform(dir.path());
        platform->createPageBrowser = [](QWidget* parent) { return new RecordingPage(parent); };
        forms = std::make_unique<Forms>(*platform);
        forms->add<RecordingErrorWindow>();
        forms->add<ProblemReportWindow>();
    }

    ManualClock clock;
    QTemporaryDir dir;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<Forms> forms;
};

TEST_F(ErrorReportTest, ErrorWindowShowsItsTextsAndARunningUnderscoreClock) {
    forms->show(RecordingErrorWindow::kName);
    RecordingErrorWindow& w = forms->get<RecordingErrorWindow>();
    EXPECT_EQ(w.Caption(), "Control de errores");
    EXPECT_EQ(w.reportFrame->title(), "Informe de error");
    EXPECT_EQ(w.reportButton->text(), "Informar de este error");
    EXPECT_TRUE(w.numberLabel->text().isEmpty());
    EXPECT_TRUE(w.descriptionLabel->text().isEmpty());

    const QRegularExpression clockForm("^(\\d\\d)_(\\d\\d)_(\\d\\d)$");
    for (int i = 0; i < 3; ++i) {
        w.clockLabel->clear();
        clock.advance(10);
        const auto m = clockForm.match(w.clockLabel->text());
        ASSERT_TRUE(m.hasMatch()) << w.clockLabel->text().toStdString();
        const QTime shown(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        EXPECT_LE(std::abs(shown.secsTo(QTime::currentTime())), 1);
    }
}

TEST_F(ErrorReportTest, InformarDisablesTheWindowAndThanksExactlyThreeAndAHalfSecondsLater) {
    forms->show(RecordingErrorWindow::kName);
    RecordingErrorWindow& w = forms->get<RecordingErrorWindow>();
    w.reportButton->click();
    EXPECT_FALSE(w.isEnabled());
    w.reportButton->click(); // no input is taken meanwhile
    clock.advance(3499);
    EXPECT_TRUE(dialogsOf(*platform).shown.isEmpty());
    EXPECT_TRUE(forms->isLoaded(RecordingErrorWindow::kName));
    clock.advance(1);
    ASSERT_EQ(dialogsOf(*platform).shown.size(), 1);
    EXPECT_EQ(dialogsOf(*platform).shown[0].prompt, "Gracias por reportarnos el error");
    EXPECT_EQ(dialogsOf(*platform).shown[0].style, MsgStyle::OkOnly);
    EXPECT_FALSE(forms->isLoaded(RecordingErrorWindow::kName));
    clock.advance(10000);
    EXPECT_EQ(dialogsOf(*platform).shown.size(), 1);
}

TEST_F(ErrorReportTest, ReportWindowOpensTheProblemReportForm) {
    forms->show(ProblemReportWindow::kName);
    ProblemReportWindow& r = forms->get<ProblemReportWindow>();
    EXPECT_EQ(r.Caption(), "Informar a Sintonex de un problema");
    auto* page = static_cast<RecordingPage*>(r.reportPage);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->navigated, QStringList{forms->endpoints().reportForm()});
}

} // namespace
