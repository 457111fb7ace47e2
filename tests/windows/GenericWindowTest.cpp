// The enlarged web-video window: its menus, the TV window's "Ver Mini" while it is open, the
// layout rule and the page's refresh.
#include "MiniSupport.h"
#include "app/Program.h"
#include "support/ServiceFixture.h"
#include "windows/EnlargedPageWindow.h"
#include "windows/TvWindow.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class GenericWindow : public ::testing::Test {
protected:
    ProgramRig rig;
    RecordingWindowSystem& windows = recordWindowSystem(rig);

    EnlargedPageWindow& open() {
        rig.forms->show("EnlargedPageWindow");
        return rig.forms->get<EnlargedPageWindow>();
    }
    QPushButton* tvMini() const { return rig.forms->loadedControl<QPushButton>("TvWindow", "miniButton"); }
    // "name caption" of each item of a menu, checked ones marked with "*".
    static QStringList items(const QList<QAction*>& actions) {
        QStringList out;
        for (QAction* a : actions)
            out << a->objectName() + " " + a->text() + (a->isChecked() ? "*" : "");
        return out;
    }
};

} // namespace

TEST_F(GenericWindow, MenusHaveTheirItemsAndCaptions) {
    EnlargedPageWindow& w = open();
    EXPECT_EQ(w.Caption(), "") << "the TV window names it";
    EXPECT_EQ(items(w.menuBar->actions()), (QStringList{"ventana Ventana", "vol Volumen", "ayud Ayuda"}));
    EXPECT_EQ(items(w.ventana->actions()),
              (QStringList{"normalform Ventana normal*", "visibleform Siempre visible"}));
    EXPECT_EQ(items(w.ayud->actions()),
              (QStringList{"soport Contactar con el soporte", "reportbut Comunicar fallo de un canal",
                           "instru Ayuda Online", "barr ", "gracias Agradecimientos"}));
    EXPECT_TRUE(w.barr->isSeparator());
    EXPECT_EQ(w.refreshButton->text(), "Refrescar");
}

TEST_F(GenericWindow, MenuItemsOpenTheirWindowsAndTheHelpPage) {
    EnlargedPageWindow& w = open();
    const QList<QPair<QAction*, QString>> shows = {{w.vol, "SmallVolumeWindow"},
                                                   {w.soport, "SupportWindow"},
                                                   {w.reportbut, "ProblemReportWindow"},
                                                   {w.gracias, "CreditsWindow"}};
    for (const auto& [item, window] : shows) {
        item->trigger();
        Form* shown = rig.forms->find(window);
        ASSERT_NE(shown, nullptr) << window.toStdString();
        EXPECT_TRUE(shown->isVisible()) << window.toStdString();
    }
    EXPECT_TRUE(shellOf(*rig.platform).opened.isEmpty());
    w.instru->trigger();
    EXPECT_EQ(shellOf(*rig.platform).opened, QStringList{"http://web.test/sintonex/ayuda/principal/"});
}

TEST_F(GenericWindow, AlwaysVisibleAndNormalSwapTheCheckMarks) {
    EnlargedPageWindow& w = open();
    w.visibleform->trigger();
    w.visibleform->trigger(); // twice: still on top, marks unchanged
    EXPECT_TRUE(w.visibleform->isChecked());
    EXPECT_FALSE(w.normalform->isChecked());
    w.normalform->trigger();
    EXPECT_TRUE(w.normalform->isChecked());
    EXPECT_FALSE(w.visibleform->isChecked());
    EXPECT_EQ(RecordingWindowSystem::of(windows.topmost, &w), (QList<int>{1, 1, 0}));
}

TEST_F(GenericWindow, VerMiniOfTheTvWindowIsDisabledWhileItIsOpen) {
    rig.forms->show("TvWindow");
    tvMini()->setEnabled(true);
    EnlargedPageWindow& w = open();
    rig.clock.advance(14);
    EXPECT_TRUE(tvMini()->isEnabled());
    rig.clock.advance(1);
    EXPECT_FALSE(tvMini()->isEnabled());
    EXPECT_FALSE(w.pageSizeTimer->Enabled()) << "once only";
    EXPECT_EQ(w.pageSizeTimer->Interval(), 1000);

    // The TV window enabling it meanwhile is not undone by a later tick.
    tvMini()->setEnabled(true);
    rig.clock.advance(5000);
    EXPECT_TRUE(tvMini()->isEnabled());
    tvMini()->setEnabled(false);

    w.close();
    EXPECT_FALSE(rig.forms->isLoaded("EnlargedPageWindow"));
    EXPECT_TRUE(tvMini()->isEnabled());
}

TEST_F(GenericWindow, WithoutTheTvWindowNothingLoadsIt) {
    EnlargedPageWindow& w = open();
    rig.clock.advance(100);
    w.close();
    EXPECT_FALSE(rig.forms->isLoaded("TvWindow"));
    EXPECT_TRUE(rig.forms->ended()) << "nothing is left to keep the run alive";
}

TEST_F(GenericWindow, TheBrowserFillsTheSpaceAboveRefrescarButNeverLessThan100Twips) {
    EnlargedPageWindow& w = open();
    QWidget* view = fakeBrowser(&w, "page")->widget();
    w.resize(twips::toPx(9000), twips::toPx(6000));
    const int bar = w.menuBar->height();
    const int inner = twips::fromPx(w.height() - bar);
    const int buttonTop = inner - twips::fromPx(w.refreshButton->height()) - 50;
    EXPECT_EQ(w.refreshButton->pos(), QPoint(0, bar + twips::toPx(buttonTop)));
    EXPECT_EQ(view->geometry(), QRect(0, bar, w.width(), twips::toPx(buttonTop - 50)));

    w.resize(w.width(), bar + twips::toPx(twips::fromPx(w.refreshButton->height()) + 60));
    EXPECT_LE(twips::fromPx(w.refreshButton->y() - bar) - 50, 0);
    EXPECT_EQ(view->height(), twips::toPx(100));
    EXPECT_EQ(view->y(), bar);
}

// With a real page browser against the reference service: "Refrescar" loads the page again.
TEST(GenericWindowAgainstService, RefrescarLoadsThePageAgain) {
    ServiceFixture service;
    ASSERT_TRUE(service.ok()) << service.error().toStdString();
    QTemporaryDir folder;
    service.writeConfig(folder.path());
    ManualClock clock;
    auto platform = makeTestPlatform(folder.path());
    Forms forms(*platform);
    registerProgramForms(forms);
    forms.show("EnlargedPageWindow");
    auto& w = forms.get<EnlargedPageWindow>();
    const QString page = service.webBase() + "/sintonex/ayuda/principal/";
    int loads = 0;
    QObject::connect(w.page, &WebBrowser::DocumentComplete, [&] { ++loads; });
    w.page->Navigate(page);
    ASSERT_TRUE(waitFor([&] { return loads == 1; }, 10000));
    QTest::mouseClick(w.refreshButton, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return loads == 2; }, 10000));
    EXPECT_EQ(service.log().filter("web GET /sintonex/ayuda/principal/").size(), 2)
        << service.log().join('\n').toStdString();
    EXPECT_EQ(w.page->LocationURL(), page);
}
