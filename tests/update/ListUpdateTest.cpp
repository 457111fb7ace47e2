#include "UpdateTestSupport.h"
#include "update/ListUpdateWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

const QString kRespuestaRara = QStringLiteral(
    "Ha ocurrido un error al verificar el número de versión de las listas de canales, intentalo más "
    "tarde. Puede que sea problema de tu conexión o de nuestros servidores.");
const QString kFallido = QStringLiteral("No se han podido descargar las listas de canales. Tus listas "
                                        "actuales se conservan. Inténtalo más tarde.");

const QByteArray kVersionPath = "/windows/versiones/obtener_ver_actual.php";
const QByteArray kCheckPath = "/windows/versiones/comprobar_ver_canales.php";
const QByteArray kTvPath = "/windows/hmtzc4wn8ue/canalestv.exe";
const QByteArray kRadioPath = "/windows/hmtzc4wn8ue/canalesradio.exe";

// Published lists: CR LF lines, a Windows-1252 name and enough lines that a cut body is visible.
QByteArray publishedList(const char* kind) {
    QByteArray list;
    for (int i = 0; i < 400; ++i)
        list += QByteArray(kind) + " Canal " + QByteArray::number(i) +
                " Espa\xf1"
                "a||>asx\r\n";
    return list;
}

class ListUpdate : public UpdateTest {
protected:
    const QByteArray tvList = publishedList("TV");
    const QByteArray radioList = publishedList("Radio");

    void SetUp() override {
        UpdateTest::SetUp();
        peer.route(kVersionPath, "37");
        peer.route(kCheckPath, "ok");
        peer.route(kTvPath, tvList);
        peer.route(kRadioPath, radioList);
        writeAll(file("vqrcv8xotv.exe"), "TV vieja||>asx\r\n");
        writeAll(file("oftwy69jrad.exe"), "Radio vieja||>asx\r\n");
        Settings(dir.path()).write("config", "vers_local_canales", "12");
    }

    void addWindows(Forms& f) override { f.add<ListUpdateWindow>(); }

    FetchingBrowser& browser(const char* name) {
        return *forms->loadedControl<FetchingBrowser>("ListUpdateWindow", name);
    }
    QPushButton& startButton() {
        return *forms->loadedControl<QPushButton>("ListUpdateWindow", "startButton");
    }

    // Opens the window and lets both pages load at their fixed delays, up to the reply's judgement.
    void openAndCheck() {
        forms->show("ListUpdateWindow");
        ASSERT_TRUE(waitFor([&] { return browser("numero_ver_canales").loads == 1; }, 5000));
        clock.advance(3999);
        EXPECT_EQ(browser("verificar").navigations, 0) << "the version is read 4 s after opening";
        clock.advance(1);
        ASSERT_TRUE(waitFor([&] { return browser("verificar").loads == 1; }, 5000));
        clock.advance(5000 + 1499);
        EXPECT_TRUE(dialogs().shown.isEmpty());
        EXPECT_FALSE(startButton().isEnabled());
        clock.advance(1);
    }
    QString installedVersion() const { return Settings(dir.path()).read("config", "vers_local_canales"); }
};

TEST_F(ListUpdate, OkEnablesTheButtonAndNothingIsDownloadedBeforeTheClick) {
    openAndCheck();
    EXPECT_TRUE(browser("numero_ver_canales").silent());
    EXPECT_EQ(peer.requests.value(1), kCheckPath + "?ver=37") << "the version the service itself reported";
    EXPECT_EQ(startButton().text(), "Comenzar actualización");
    EXPECT_TRUE(startButton().isEnabled());
    EXPECT_TRUE(dialogs().shown.isEmpty());
    clock.advance(60000);
    EXPECT_EQ(peer.countOf(kTvPath) + peer.countOf(kRadioPath), 0);
    EXPECT_TRUE(forms->isLoaded("ListUpdateWindow"));
}

TEST_F(ListUpdate, RepliesOtherThanOkOrNoAreShownAndLeadBackToTheChooser) {
    for (const QByteArray& reply : {QByteArray("OK"), QByteArray("ok\n"), QByteArray("")}) {
        SCOPED_TRACE(reply.toStdString());
        newRun();
        dialogs().shown.clear();
        peer.route(kCheckPath, reply);
        openAndCheck();
        ASSERT_EQ(dialogs().shown.size(), 1);
        EXPECT_EQ(dialogs().shown[0].prompt, kRespuestaRara + QString::fromUtf8(reply));
        EXPECT_EQ(dialogs().shown[0].style, MsgStyle::OkOnly);
        EXPECT_EQ(dialogs().shown[0].title, "");
        EXPECT_FALSE(forms->isLoaded("ListUpdateWindow"));
        EXPECT_TRUE(forms->isLoaded("ChooserWindow") && forms->find("ChooserWindow")->isVisible());
        EXPECT_FALSE(forms->ended());
    }
    EXPECT_EQ(installedVersion(), "12");
}

TEST_F(ListUpdate, NoAsksItsQuestionYesOpensTheChooserAndNoOffersTheUpdateAnyway) {
    peer.route(kCheckPath, "no");
    dialogs().answers = {kAnswerNo};
    openAndCheck();
    ASSERT_EQ(dialogs().shown.size(), 1);
    const ShownMessage& m = dialogs().shown[0];
    EXPECT_EQ(m.prompt,
              "Ha ocurrido un error\r\nHa ocurrido un error al verificar el numero de versión de las "
              "listas de canales. Intentalo más tarde :(\r\n\r\nEs probable que exista un problema de "
              "conexión o bien nuestros servidores tienen algún problema.");
    EXPECT_EQ(m.style, 36);
    EXPECT_EQ(m.title, "Ha ocurrido un error");
    // No: the window stays, the judgement is not repeated, and the button downloads the lists
    // all the same; the version the service did not confirm is not recorded.
    EXPECT_TRUE(forms->isLoaded("ListUpdateWindow"));
    clock.advance(60000);
    EXPECT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(startButton().text(), "Comenzar actualización");
    ASSERT_TRUE(startButton().isEnabled());
    startButton().click();
    ASSERT_TRUE(waitFor([&] { return dialogs().shown.size() == 2; }, 10000));
    EXPECT_EQ(dialogs().shown[1].prompt,
              "El proceso de actualización de los canales se ha completado exitosamente.");
    EXPECT_EQ(readAll(file("vqrcv8xotv.exe")), tvList);
    EXPECT_EQ(installedVersion(), "12");
    EXPECT_TRUE(forms->form("ChooserWindow")->isVisible());

    newRun();
    dialogs().shown.clear();
    openAndCheck();
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_TRUE(forms->form("ChooserWindow")->isVisible());
    EXPECT_FALSE(forms->isLoaded("ListUpdateWindow"));
}

TEST_F(ListUpdate, ACompletedUpdateInstallsBothListsAndTheirVersionAfterClosingThePlayers) {
    peer.route(kVersionPath, "2024.3");
    forms->show("TvWindow");
    forms->form("RadioWindow");
    openAndCheck();
    ASSERT_TRUE(startButton().isEnabled());

    QStringList seenAtDownload;
    peer.onRequest = [&](const QByteArray& path) {
        if (path != kTvPath && path != kRadioPath)
            return;
        seenAtDownload << QString::fromLatin1(path);
        if (forms->isLoaded("TvWindow") || forms->isLoaded("RadioWindow"))
            seenAtDownload << "a player window is still open";
        if (!forms->loadedControl<QProgressBar>("ListUpdateWindow", "progreso")->isVisible() ||
            startButton().isVisible())
            seenAtDownload << "no progress shown";
        if (readAll(file("vqrcv8xotv.exe")) != "TV vieja||>asx\r\n")
            seenAtDownload << "the old TV list is gone while downloading";
    };
    startButton().click();
    ASSERT_TRUE(waitFor([&] { return !dialogs().shown.isEmpty(); }, 10000));

    EXPECT_EQ(seenAtDownload, (QStringList{QString::fromLatin1(kTvPath), QString::fromLatin1(kRadioPath)}));
    EXPECT_EQ(prompts(),
              QStringList{"El proceso de actualización de los canales se ha completado exitosamente."});
    EXPECT_EQ(dialogs().shown[0].title, "");
    EXPECT_EQ(readAll(file("vqrcv8xotv.exe")), tvList);
    EXPECT_EQ(readAll(file("oftwy69jrad.exe")), radioList);
    EXPECT_EQ(installedVersion(), "2024.3");
    EXPECT_EQ(folderContents(), (QStringList{"config.ini", "oftwy69jrad.exe", "vqrcv8xotv.exe"}));
    EXPECT_TRUE(forms->form("ChooserWindow")->isVisible());
    EXPECT_FALSE(forms->isLoaded("ListUpdateWindow"));
}

TEST_F(ListUpdate, AFailedDownloadKeepsTheInstalledListsAndVersion) {
    const struct {
        const char* what;
        QByteArray path;
        HttpPeer::Fault fault;
    } cases[] = {
        {"radio list answers 500", kRadioPath, HttpPeer::Fault::Status500},
        {"radio list connection dropped", kRadioPath, HttpPeer::Fault::Drop},
        {"TV list connection dropped", kTvPath, HttpPeer::Fault::Drop},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        peer.route(kTvPath, tvList);
        peer.route(kRadioPath, radioList);
        peer.route(c.path, c.path == kTvPath ? tvList : radioList, c.fault);
        newRun();
        dialogs().shown.clear();
        forms->show("TvWindow");
        openAndCheck();
        startButton().click();
        ASSERT_TRUE(waitFor([&] { return !dialogs().shown.isEmpty(); }, 10000));

        EXPECT_EQ(prompts(), QStringList{kFallido});
        EXPECT_EQ(readAll(file("vqrcv8xotv.exe")), "TV vieja||>asx\r\n");
        EXPECT_EQ(readAll(file("oftwy69jrad.exe")), "Radio vieja||>asx\r\n");
        EXPECT_EQ(installedVersion(), "12");
        EXPECT_EQ(folderContents(), (QStringList{"config.ini", "oftwy69jrad.exe", "vqrcv8xotv.exe"}));
        EXPECT_FALSE(forms->isLoaded("TvWindow"));
        EXPECT_TRUE(forms->form("ChooserWindow")->isVisible());
        EXPECT_FALSE(forms->isLoaded("ListUpdateWindow"));
    }
}

TEST_F(ListUpdate, ClosingTheWindowWhileDownloadingLeavesNothingBehind) {
    peer.route(kRadioPath, radioList, HttpPeer::Fault::Stall);
    openAndCheck();
    startButton().click();
    ASSERT_TRUE(waitFor([&] { return peer.countOf(kRadioPath) == 1; }, 10000));
    forms->unload("ListUpdateWindow");
    waitFor([] { return false; }, 200); // whatever was still under way has its chance to show
    EXPECT_TRUE(dialogs().shown.isEmpty());
    EXPECT_EQ(readAll(file("vqrcv8xotv.exe")), "TV vieja||>asx\r\n");
    EXPECT_EQ(installedVersion(), "12");
    EXPECT_EQ(folderContents(), (QStringList{"config.ini", "oftwy69jrad.exe", "vqrcv8xotv.exe"}));
}

} // namespace
