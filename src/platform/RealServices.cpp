// The real outside services: Qt message boxes and file dialogs, the desktop's default browser,
// window flags and opacity.
#include "Platform.h"

#include "MediaPlayer.h"
#include "MediaSession.h"
#include "Mixer.h"
#include "MpvPlayer.h"
#include "Tray.h"
#include "WebBrowser.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QUrl>
#include <QWidget>
#include <QWindow>

namespace {

class QtDialogs : public Dialogs {
public:
    int MsgBox(const QString& prompt, int style, const QString& title) override {
        QMessageBox box;
        box.setWindowTitle(title.isEmpty() ? QString::fromLatin1(kDefaultTitle) : title);
        box.setText(prompt);
        const int icon = style & 0x70;
        box.setIcon(icon == MsgStyle::Critical      ? QMessageBox::Critical
                    : icon == MsgStyle::Question    ? QMessageBox::Question
                    : icon == MsgStyle::Exclamation ? QMessageBox::Warning
                                                    : QMessageBox::NoIcon);
        if ((style & 0x0F) == MsgStyle::YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.button(QMessageBox::Yes)->setText(QStringLiteral("Sí"));
            box.button(QMessageBox::No)->setText(QStringLiteral("No"));
            return box.exec() == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
        }
        box.setStandardButtons(QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(QStringLiteral("Aceptar"));
        box.exec();
        return kAnswerOk;
    }
    QString openFile(QWidget* owner, const QString& filter) override {
        return QFileDialog::getOpenFileName(owner, QString(), QString(), filter);
    }
    QString chooseFolder(QWidget* owner, const QString& title) override {
        return QFileDialog::getExistingDirectory(owner, title);
    }
    QString saveFile(QWidget* owner, const QString& title, const QString& suggested,
                     const QString& filter) override {
        return QFileDialog::getSaveFileName(owner, title, suggested, filter);
    }
};

class DesktopShell : public Shell {
public:
    void open(const QString& address) override {
        const QUrl url = QUrl::fromUserInput(address);
        if (isWebPage(url))
            QDesktopServices::openUrl(url);
    }
};

class QtWindowSystem : public WindowSystem {
public:
    void setTopmost(QWidget* w, bool on) override {
        if (!w || w->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on)
            return;
        // Changing the flag re-creates the native window; show it again if it was shown.
        const bool visible = w->isVisible();
        w->setWindowFlag(Qt::WindowStaysOnTopHint, on);
        if (visible)
            w->show();
    }
    void setOpacity(QWidget* w, int alpha) override {
        if (w)
            w->setWindowOpacity(alpha / 255.0);
    }
    void startDrag(QWidget* w) override {
        if (w && w->windowHandle())
            w->windowHandle()->startSystemMove();
    }
};

} // namespace

Platform::Platform() = default;
Platform::~Platform() {
    delete network;
}

std::unique_ptr<Mixer> makeAlsaMixer();
WebBrowser* makeHiddenBrowser(QObject* parent, QNetworkAccessManager* nam);
WebBrowser* makeTextPageBrowser(QWidget* parent, QNetworkAccessManager* nam);

std::unique_ptr<Platform> Platform::makeReal(const QString& programFolder) {
    auto p = std::make_unique<Platform>();
    p->programFolder = programFolder;
    p->dialogs = std::make_unique<QtDialogs>();
    p->shell = std::make_unique<DesktopShell>();
    p->windowSystem = std::make_unique<QtWindowSystem>();
    p->mixer = makeAlsaMixer();
    p->tray = makeSystemTray();
    p->mediaSession = makeMprisSession();
    p->network = new QNetworkAccessManager();
    QNetworkAccessManager* nam = p->network;
    p->createPlayer = [nam](QWidget* parent) { return makeMpvPlayer(parent, nam); };
    p->createHiddenBrowser = [nam](QObject* parent) { return makeHiddenBrowser(parent, nam); };
    p->createPageBrowser = [nam](QWidget* parent) { return makeTextPageBrowser(parent, nam); };
    return p;
}
