// The teletext window: its design, the fades in and out, put on top once, and its browser
// buttons against the reference service's teletext pages.
#include "windows/TeletextWindow.h"
#include "MiniSupport.h"
#include "app/Program.h"
#include "support/ServiceFixture.h"

#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QList<int> steps(int from, int to, int step) {
    QList<int> values;
    for (int v = from; step > 0 ? v <= to : v >= to; v += step)
        values.append(v);
    return values;
}

class Teletext : public ::testing::Test {
protected:
    ProgramRig rig;
    RecordingWindowSystem& windows = recordWindowSystem(rig);
    int unloads = 0;

    TeletextWindow& open() {
        QObject::connect(rig.forms.get(), &Forms::formUnloaded, [this](const QString& name) {
            if (name == "TeletextWindow")
                ++unloads;
        });
        rig.forms->show("TeletextWindow");
        return rig.forms->get<TeletextWindow>();
    }
    QList<int> opacity(TeletextWindow& w) const { return RecordingWindowSystem::of(windows.opacity, &w); }
};

} // namespace

TEST_F(Teletext, OpensWithItsDesignAndTheServicePage) {
    TeletextWindow& w = open();
    const QString caption = w.Caption();
    EXPECT_TRUE(caption.startsWith("Teletexto de Sintonex ")) << caption.toStdString();
    EXPECT_TRUE(caption.endsWith(" web.test")) << caption.toStdString();
    EXPECT_EQ(caption.mid(21, caption.size() - 21 - 8).trimmed(), "") << "only blanks between";
    EXPECT_NEAR(w.Width(), 10695, 15);
    EXPECT_NEAR(w.Height(), 7590, 15);
    EXPECT_EQ(w.closeButton->text(), "X");
    EXPECT_EQ(w.closeButton->toolTip(), "Cerrar teletexto");
    EXPECT_EQ(w.backButton->text(), "Atras");
    EXPECT_EQ(w.refreshButton->text(), "Refres.");
    FakeBrowser& page = *fakeBrowser(&w, "page");
    EXPECT_EQ(page.navigations, QStringList{"http://servicio.test/windows/txt.htm"});
    EXPECT_EQ(page.silentOnNavigate, QList<bool>{true});
    EXPECT_EQ(w.opacityBar->minimum(), 0);
    EXPECT_EQ(w.opacityBar->maximum(), 255);
}

TEST_F(Teletext, FadesInIn17StepsAndGoesOnTopOnce) {
    TeletextWindow& w = open();
    EXPECT_EQ(opacity(w), QList<int>{0}) << "transparent before the first tick";
    rig.clock.advance(16);
    EXPECT_EQ(opacity(w).last(), 240);
    EXPECT_EQ(RecordingWindowSystem::of(windows.topmost, &w), QList<int>{1});
    rig.clock.advance(1);
    EXPECT_EQ(opacity(w), QList<int>{0} + steps(15, 255, 15));
    rig.clock.advance(1);
    EXPECT_FALSE(w.fadeInTimer->Enabled());
    EXPECT_EQ(w.fade_level, 270);
    EXPECT_EQ(w.opacityBar->value(), 255);

    rig.clock.advance(5000);
    EXPECT_EQ(opacity(w).size(), 18) << "nothing more once faded in";
    EXPECT_EQ(RecordingWindowSystem::of(windows.topmost, &w), QList<int>{1}) << "on top once only";
    EXPECT_FALSE(w.raiseTimer->Enabled());
    EXPECT_EQ(w.raiseTimer->Interval(), 1000);
}

TEST_F(Teletext, TwoPressesOfXFadeOutOnceAndUnloadOnce) {
    TeletextWindow& w = open();
    rig.clock.advance(100);
    // Dragging the slider changes the opacity, not the level the fade-out starts from.
    w.opacityBar->setValue(100);
    EXPECT_EQ(opacity(w).last(), 100);
    const qsizetype before = opacity(w).size();

    QTest::mouseClick(w.closeButton, Qt::LeftButton);
    rig.clock.advance(5);
    QTest::mouseClick(w.closeButton, Qt::LeftButton);
    rig.clock.advance(100);
    EXPECT_FALSE(rig.forms->isLoaded("TeletextWindow"));
    EXPECT_EQ(unloads, 1);
    EXPECT_EQ(opacity(w).mid(before), steps(255, 0, -15));
}

TEST_F(Teletext, XDuringTheFadeInFadesOutFromWhereItWas) {
    TeletextWindow& w = open();
    rig.clock.advance(4); // 15, 30, 45, 60
    QTest::mouseClick(w.closeButton, Qt::LeftButton);
    rig.clock.advance(100);
    EXPECT_FALSE(rig.forms->isLoaded("TeletextWindow"));
    EXPECT_EQ(unloads, 1);
    EXPECT_EQ(opacity(w).mid(5), steps(45, 0, -15));
}

TEST_F(Teletext, SilentAgainAfterEveryLoadAndError) {
    TeletextWindow& w = open();
    FakeBrowser& page = *fakeBrowser(&w, "page");
    page.setSilent(false);
    page.complete("Página 100");
    EXPECT_TRUE(page.silent());
    page.setSilent(false);
    page.fail(500);
    EXPECT_TRUE(page.silent());
}

// The real page browser against the service's teletext pages 100 and 101.
TEST(TeletextAgainstService, AtrasAndRefresFollowThePagesHistory) {
    ServiceFixture service;
    ASSERT_TRUE(service.ok()) << service.error().toStdString();
    QTemporaryDir folder;
    service.writeConfig(folder.path());
    ManualClock clock;
    auto platform = makeTestPlatform(folder.path());
    Forms forms(*platform);
    registerProgramForms(forms);
    forms.show("TeletextWindow");
    auto& w = forms.get<TeletextWindow>();
    int loads = 0;
    QObject::connect(w.page, &WebBrowser::DocumentComplete, [&] { ++loads; });
    const QString first = service.serviceBase() + "/windows/txt.htm";
    const QString second = service.serviceBase() + "/windows/txt2.htm";
    auto requests = [&](const char* path) {
        return service.log().filter(QString("service GET ") + path).size();
    };
    ASSERT_TRUE(waitFor([&] { return loads == 1; }, 10000));
    EXPECT_EQ(w.page->LocationURL(), first);

    // On the first page there is nothing to go back to.
    QTest::mouseClick(w.backButton, Qt::LeftButton);
    waitFor([] { return false; }, 300);
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(requests("/windows/txt.htm"), 1);
    EXPECT_EQ(w.page->LocationURL(), first);

    w.page->Navigate(second);
    ASSERT_TRUE(waitFor([&] { return loads == 2; }, 10000));
    QTest::mouseClick(w.refreshButton, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return loads == 3; }, 10000));
    EXPECT_EQ(requests("/windows/txt2.htm"), 2);
    EXPECT_EQ(w.page->LocationURL(), second);

    QTest::mouseClick(w.backButton, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return loads == 4; }, 10000));
    EXPECT_EQ(w.page->LocationURL(), first);
    EXPECT_EQ(requests("/windows/txt.htm"), 2);
    EXPECT_TRUE(w.page->silent());
}
