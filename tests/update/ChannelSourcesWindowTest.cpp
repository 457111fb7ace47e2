// "Mis listas de canales" as a user meets it: a playlist added and removed against the program's own
// service, with its channels coming and going in the open TV window; the words each state of a
// source gets; and a window that changes nothing where the lists are another service's.
#include "app/Program.h"
#include "base/Forms.h"
#include "base/Settings.h"
#include "catalogue/ChannelListBox.h"
#include "platform/MediaPlayer.h"
#include "platform/Timer.h"
#include "support/Files.h"
#include "support/ServiceFixture.h"
#include "support/TestPlatform.h"
#include "windows/PlayerWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

const QString kWindow = QStringLiteral("ChannelSourcesWindow");

class ChannelSources : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void TearDown() override {
        forms.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void startProgram(bool own) {
        platform = makeTestPlatform(dir.path());
        platform->ownService = own;
        forms = std::make_unique<Forms>(*platform);
        registerProgramForms(*forms);
    }
    template <class T> T* control(const char* name) {
        return forms->loadedControl<T>(kWindow, QString::fromLatin1(name));
    }
    QStringList row(int r) {
        const QTreeWidgetItem* item = control<QTreeWidget>("sourcesTree")->topLevelItem(r);
        return item ? QStringList{item->text(0), item->text(1), item->text(2)} : QStringList{};
    }
    // The window reads the service's report on its timer, which runs on the test's clock: here it
    // keeps pace with real time, as the service does.
    bool tickUntil(const std::function<bool()>& done, int ms) {
        QElapsedTimer real;
        real.start();
        qint64 advanced = 0;
        return waitFor(
            [&] {
                clock.advance(real.elapsed() - advanced);
                advanced = real.elapsed();
                return done();
            },
            ms);
    }

    ManualClock clock;
    QTemporaryDir dir, lists;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<Forms> forms;
};

} // namespace

TEST_F(ChannelSources, AddingAFileBringsItsChannelsAndRemovingItTakesThemAway) {
    ASSERT_TRUE(lists.isValid());
    // The user's file as they left it: a comment and a line the program does not know stay.
    const QByteArray before = "# mis listas\r\ntele vieja.m3u\r\n";
    writeAll(dir.filePath("fuentes.txt"), before);
    ServiceFixture svc({"--sources-file", dir.filePath("fuentes.txt"), "--status-file",
                        dir.filePath("fuentes-estado.json")});
    ASSERT_TRUE(svc.ok()) << svc.error().toStdString();
    svc.writeConfig(dir.path());
    Settings(dir.path()).write("config", "vers_local_canales", "37");
    for (const char* list : {"canalestv.exe", "canalesradio.exe"})
        writeAll(dir.filePath(list == QByteArray("canalestv.exe") ? "vqrcv8xotv.exe" : "oftwy69jrad.exe"),
                 ServiceFixture::get(svc.serviceBase() + "/windows/hmtzc4wn8ue/" + list).body);
    writeAll(lists.filePath("mia.m3u"),
             ("#EXTINF:-1,Canal Uno\n" + svc.serviceBase() +
              "/media/canal1/live.m3u8\n#EXTINF:-1,Canal Nuevo\nhttp://127.0.0.1:9/n\n"
              "#EXTINF:-1,Otro Canal\nhttp://127.0.0.1:9/o\n")
                 .toUtf8());
    startProgram(true);
    forms->show("TvWindow");
    auto& tv = *static_cast<PlayerWindow*>(forms->find("TvWindow"));
    ASSERT_EQ(tv.canales->item(0)->text(), "Canal Uno");
    const int demoChannels = tv.canales->count();
    tv.canales->setCurrentRow(0);
    tv.playSelectedChannel();
    ASSERT_TRUE(waitFor([&] { return tv.WMPradio->status().startsWith("Reproduciendo"); }, 20000));
    const QString playing = tv.WMPradio->sourceURL();

    tv.menuItem(design::Menu::OwnLists)->trigger();
    ASSERT_TRUE(forms->isLoaded(kWindow));
    EXPECT_TRUE(forms->find(kWindow)->isVisible());
    EXPECT_EQ(forms->find(kWindow)->windowTitle(), "Mis listas de canales");
    EXPECT_TRUE(control<QLabel>("unknownLabel")->text().endsWith("línea 2: tele vieja.m3u"));

    dialogsOf(*platform).files = {lists.filePath("mia.m3u")};
    control<QPushButton>("browseButton")->click();
    EXPECT_EQ(dialogsOf(*platform).fileFilters.value(0),
              "Listas de canales (*.m3u *.m3u8 *.pls *.json);;Todos los ficheros (*)");
    control<QPushButton>("addButton")->click();
    EXPECT_EQ(row(0), (QStringList{"Televisión", lists.filePath("mia.m3u"), "se leerá al aceptar"}));
    control<QPushButton>("addButton")->click(); // nothing more to add
    EXPECT_EQ(control<QLabel>("noticeLabel")->text(), "Escribe una dirección o elige un fichero.");
    EXPECT_EQ(readAll(dir.filePath("fuentes.txt")), before) << "nothing is written before \"Aceptar\"";

    control<QPushButton>("acceptButton")->click();
    EXPECT_EQ(readAll(dir.filePath("fuentes.txt")),
              before + "tv " + lists.filePath("mia.m3u").toUtf8() + "\r\n");
    EXPECT_TRUE(control<QProgressBar>("progressBar")->isVisible());
    ASSERT_TRUE(tickUntil([&] { return control<QLabel>("noticeLabel")->text().startsWith("Listo"); }, 15000))
        << control<QLabel>("noticeLabel")->text().toStdString();
    EXPECT_FALSE(control<QProgressBar>("progressBar")->isVisible());
    EXPECT_TRUE(
        QRegularExpression("^3 canales, leída a las \\d\\d:\\d\\d$").match(row(0).value(2)).hasMatch())
        << row(0).value(2).toStdString();
    // The TV list is the playlist's, in place: the demo's channels are gone, the selected channel
    // is still selected and still plays, and nobody was asked anything.
    ASSERT_TRUE(waitFor([&] { return tv.canales->count() == 3; }, 15000));
    EXPECT_EQ(tv.canales->item(1)->text(), "Canal Nuevo");
    EXPECT_EQ(tv.canales->currentRow(), 0);
    EXPECT_EQ(tv.WMPradio->sourceURL(), playing);
    EXPECT_TRUE(tv.WMPradio->status().startsWith("Reproduciendo"));
    EXPECT_TRUE(dialogsOf(*platform).shown.isEmpty());

    // A folder instead of a file is said plainly, and changes nothing.
    ASSERT_TRUE(QDir(lists.path()).mkdir("carpeta.m3u"));
    control<QLineEdit>("addressField")->setText(lists.filePath("carpeta.m3u"));
    control<QPushButton>("addButton")->click();
    control<QPushButton>("acceptButton")->click();
    ASSERT_TRUE(
        tickUntil([&] { return control<QLabel>("noticeLabel")->text().startsWith("Alguna"); }, 15000));
    EXPECT_EQ(row(1).value(2), "no se pudo leer: es una carpeta, no un fichero");
    EXPECT_EQ(tv.canales->count(), 3);

    // Removed: the demo comes back.
    for (int r : {1, 0}) {
        control<QTreeWidget>("sourcesTree")
            ->setCurrentItem(control<QTreeWidget>("sourcesTree")->topLevelItem(r));
        control<QPushButton>("removeButton")->click();
    }
    control<QPushButton>("acceptButton")->click();
    EXPECT_EQ(readAll(dir.filePath("fuentes.txt")), before);
    ASSERT_TRUE(tickUntil([&] { return tv.canales->count() == demoChannels; }, 15000));
    EXPECT_EQ(tv.canales->item(0)->text(), "Canal Uno");
    EXPECT_TRUE(dialogsOf(*platform).shown.isEmpty());
}

TEST_F(ChannelSources, EveryStateOfASourceIsSaidInPlainWords) {
    const QDateTime today = QDateTime::currentDateTime().addSecs(-60);
    const QDateTime earlier(QDate(2024, 3, 12), QTime(9, 40));
    writeAll(dir.filePath("fuentes.txt"),
             "tv /srv/tv.m3u\nradio ~/radio.pls\ntv https://otra.example/tv.m3u\nguia /srv/guia.xml.gz\n");
    const auto source = [](const char* list, const char* address, const char* origin, const char* phase,
                           int channels, qint64 at, bool copy, const char* problem) {
        return QStringLiteral("{\"list\":\"%1\",\"address\":\"%2\",\"origin\":\"%3\",\"phase\":\"%4\","
                              "\"channels\":%5,\"readAt\":%6,\"fromCopy\":%7,\"problem\":\"%8\"}")
            .arg(list, address, origin, phase)
            .arg(channels)
            .arg(at)
            .arg(copy ? "true" : "false", QString::fromUtf8(problem));
    };
    const QStringList sources = {
        source("tv", "/srv/tv.m3u", "sources-file", "failed", 12, today.toSecsSinceEpoch(), false,
               "no se puede conectar con el servidor"),
        source("radio", "~/radio.pls", "sources-file", "waiting", 30, earlier.toSecsSinceEpoch(), true, ""),
        source("tv", "https://otra.example/tv.m3u", "sources-file", "reading", 0, 0, false, ""),
        source("guia", "/srv/guia.xml.gz", "sources-file", "failed", 40, today.toSecsSinceEpoch(), false,
               "el XML está mal formado (línea 3)"),
        source("tv", "https://coleccion.example/spa.m3u", "default", "read", 412, today.toSecsSinceEpoch(),
               false, ""),
    };
    writeAll(dir.filePath("fuentes-estado.json"),
             ("{\"pid\":1,\"round\":2,\"reading\":true,\"defaultsOn\":true,\"sources\":[" +
              sources.join(',') + "]}")
                 .toUtf8());
    startProgram(true);
    forms->show(kWindow);
    const QString time = today.toString("HH:mm");
    EXPECT_EQ(row(0),
              (QStringList{"Televisión", "/srv/tv.m3u",
                           "no se pudo leer: no se puede conectar con el servidor; se conservan sus 12 "
                           "canales"}));
    EXPECT_EQ(row(1),
              (QStringList{"Radio", "~/radio.pls", "30 canales de la copia guardada el 12/03 a las 09:40"}));
    EXPECT_EQ(row(2), (QStringList{"Televisión", "https://otra.example/tv.m3u", "leyendo…"}));
    EXPECT_EQ(row(3), (QStringList{"Guía de programación", "/srv/guia.xml.gz",
                                   "no se pudo leer: el XML está mal formado (línea 3); se conserva la "
                                   "programación leída antes"}));
    EXPECT_EQ(row(4), (QStringList{"Televisión (predeterminada)", "https://coleccion.example/spa.m3u",
                                   "412 canales, leída a las " + time}));
    EXPECT_TRUE(control<QCheckBox>("defaultsBox")->isChecked());
    EXPECT_FALSE(control<QLabel>("unknownLabel")->isVisible());

    // The defaults off: their rows go at once; the file changes only on "Aceptar".
    control<QCheckBox>("defaultsBox")->setChecked(false);
    EXPECT_EQ(control<QTreeWidget>("sourcesTree")->topLevelItemCount(), 4);
    control<QLineEdit>("addressField")->setText("/srv/tv.m3u");
    control<QPushButton>("addButton")->click();
    EXPECT_EQ(control<QLabel>("noticeLabel")->text(), "Esa fuente ya está en la lista.");
    control<QLineEdit>("addressField")->setText("http://a/b # x");
    control<QPushButton>("addButton")->click();
    EXPECT_EQ(control<QLabel>("noticeLabel")->text(), "Esa dirección no cabe en una línea de fuentes.txt.");

    // Written, but no service reads it: the window says so after a while, and the change stays.
    control<QPushButton>("acceptButton")->click();
    clock.advance(5000);
    EXPECT_TRUE(control<QLabel>("noticeLabel")->text().startsWith("El servicio no ha leído los cambios."));
    EXPECT_TRUE(readAll(dir.filePath("fuentes.txt")).endsWith("sin-predeterminadas\n"));
}

TEST_F(ChannelSources, WhereTheListsAreAnotherServicesNothingCanBeChanged) {
    startProgram(false);
    forms->show(kWindow);
    EXPECT_TRUE(
        control<QLabel>("introLabel")->text().startsWith("Las listas de canales vienen del servicio http"));
    QStringList visible;
    for (QWidget* w : forms->find(kWindow)->findChildren<QWidget*>())
        if (w->isVisible() && (qobject_cast<QPushButton*>(w) || qobject_cast<QTreeWidget*>(w) ||
                               qobject_cast<QLineEdit*>(w) || qobject_cast<QCheckBox*>(w)))
            visible << w->objectName();
    EXPECT_EQ(visible, QStringList{"closeButton"});
    control<QPushButton>("closeButton")->click();
    EXPECT_FALSE(forms->isLoaded(kWindow));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("fuentes.txt")));
}
