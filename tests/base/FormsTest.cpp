#include "base/Forms.h"
#include "support/TestPlatform.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QStringList g_events;

class Probe : public Form {
public:
    Probe(Forms& f, const QString& name) : Form(f, name) {}
    void Form_Load() override {
        g_events << "load " + formName();
        if (onLoad)
            onLoad(*this);
    }
    void Form_Unload() override {
        g_events << "unload " + formName();
        if (onUnload)
            onUnload(*this);
    }
    std::function<void(Probe&)> onLoad, onUnload;
};

class Registry : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::unique_ptr<Platform> platform = makeTestPlatform(dir.path());
    Forms forms{*platform};
    void SetUp() override {
        g_events.clear();
        for (const char* n : {"a", "b", "c"})
            forms.registerForm(n, [n](Forms& f) { return new Probe(f, n); });
    }
    Probe& probe(const char* n) { return *static_cast<Probe*>(forms.form(n)); }
};

} // namespace

TEST_F(Registry, AskingForAWindowLoadsItHiddenOnce) {
    EXPECT_FALSE(forms.isLoaded("a"));
    Probe& a = probe("a");
    EXPECT_TRUE(forms.isLoaded("a"));
    EXPECT_FALSE(a.isVisible());
    EXPECT_EQ(&probe("a"), &a);
    EXPECT_EQ(g_events, QStringList{"load a"});
    EXPECT_EQ(forms.form("unknown"), nullptr);
    forms.show("a");
    EXPECT_TRUE(a.isVisible());
}

TEST_F(Registry, TheRunEndsWhenTheLastLoadedWindowGoesHiddenOnesIncluded) {
    QSignalSpy ended(&forms, &Forms::runEnded);
    forms.show("a");
    probe("b"); // loaded hidden, e.g. by another window's timer
    forms.unload("a");
    EXPECT_EQ(ended.count(), 0) << "a hidden window keeps the run alive";
    forms.unload("b");
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(g_events, (QStringList{"load a", "load b", "unload a", "unload b"}));
}

TEST_F(Registry, TheCloseBoxUnloadsThroughTheRegistry) {
    QSignalSpy ended(&forms, &Forms::runEnded);
    forms.show("a");
    probe("a").close();
    EXPECT_FALSE(forms.isLoaded("a"));
    EXPECT_EQ(g_events, (QStringList{"load a", "unload a"}));
    EXPECT_EQ(ended.count(), 1);
}

TEST_F(Registry, HandlersMayTouchAndUnloadOtherWindows) {
    probe("a").onUnload = [this](Probe&) { forms.unload("b"); }; // as the TV window unloads the chat
    probe("b");
    probe("c").onLoad = [this](Probe&) { probe("a"); };
    QSignalSpy ended(&forms, &Forms::runEnded);
    forms.unload("c"); // c was loaded before; its load touched a (already loaded)
    forms.unload("a");
    EXPECT_FALSE(forms.isLoaded("b"));
    EXPECT_EQ(ended.count(), 1);
    // A window that unloads itself during its own unload is unloaded once.
    g_events.clear();
}

TEST_F(Registry, ReloadingAfterUnloadStartsAFreshWindow) {
    Probe* first = &probe("a");
    probe("b");
    forms.unload("a");
    Probe* second = &probe("a");
    EXPECT_TRUE(forms.isLoaded("a"));
    EXPECT_EQ(g_events, (QStringList{"load a", "load b", "unload a", "load a"}));
    (void)first;
    (void)second;
}

TEST_F(Registry, EndProgramClosesEverythingAtOnceWithoutHandlers) {
    QSignalSpy ended(&forms, &Forms::runEnded);
    forms.show("a");
    probe("b");
    forms.endProgram();
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(forms.loaded().isEmpty());
    EXPECT_EQ(g_events, (QStringList{"load a", "load b"}));
    EXPECT_EQ(forms.form("c"), nullptr) << "nothing loads after the end";
    forms.endProgram();
    EXPECT_EQ(ended.count(), 1);
}

TEST(Twips, PlayerWindowSizeAtTheScreensResolution) {
    // 1440 twips per logical inch: at 96 dpi 15 twips are one pixel.
    EXPECT_EQ(twips::fromPx(twips::toPx(8745)) / 15, 8745 / 15);
    EXPECT_NEAR(twips::toPx(1440), twips::toPx(720) * 2, 1);
}
