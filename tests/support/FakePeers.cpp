#include "FakePeers.h"

#include "app/Program.h"
#include "base/Settings.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QWidget>

FakePlayer::FakePlayer(QWidget* parent) : MediaPlayer(parent), m_view(new QWidget(parent)) {}

void FakePlayer::setURL(const QString& url) {
    m_url = url;
    urls.append(url);
}

void FakePlayer::close() {
    ++closeCalls;
    m_url.clear();
}

std::optional<QString> FakePlayer::getItemInfo(const QString& attribute) const {
    if (attribute == QLatin1String("Name") && !itemName.isEmpty())
        return itemName;
    return std::nullopt;
}

void FakePlayer::sendStreamTitle(const QString& title) {
    streamTitleText = title;
    emit StreamTitleChange();
}

FakeBrowser::FakeBrowser(QObject* parent, QWidget* view) : WebBrowser(parent), m_view(view) {}

void FakeBrowser::Navigate(const QString& url) {
    navigations.append(url);
    silentOnNavigate.append(m_silent);
    m_url = url;
}

void FakeBrowser::announceDownload() {
    emit FileDownload();
}

void FakeBrowser::complete(const QString& bodyText) {
    m_text = bodyText;
    emit DocumentComplete(m_url);
}

void FakeBrowser::fail(int status) {
    emit NavigateError(m_url, status);
}

void FakeBrowser::changeTitle(const QString& title) {
    m_title = title;
    emit TitleChange(title);
}

void installFakePeers(Platform& platform, FakePeers& peers) {
    platform.createPlayer = [&peers](QWidget* parent) {
        auto* p = new FakePlayer(parent);
        peers.players.append(p);
        return p;
    };
    platform.createHiddenBrowser = [&peers](QObject* parent) {
        auto* b = new FakeBrowser(parent, nullptr);
        peers.browsers.append(b);
        return b;
    };
    platform.createPageBrowser = [&peers](QWidget* parent) {
        auto* b = new FakeBrowser(parent, new QWidget(parent));
        peers.browsers.append(b);
        return b;
    };
}

FakeBrowser* fakeBrowser(const QObject* owner, const QString& name) {
    return owner ? owner->findChild<FakeBrowser*>(name) : nullptr;
}

FakePlayer* fakePlayer(const QObject* owner, const QString& name) {
    return owner ? owner->findChild<FakePlayer*>(name) : nullptr;
}

ProgramRig::ProgramRig() {
    platform = makeTestPlatform(dir.path());
    installFakePeers(*platform, peers);
    setting(QStringLiteral("servidor"), QString::fromLatin1(kService));
    setting(QStringLiteral("web"), QString::fromLatin1(kWeb));
    forms = std::make_unique<Forms>(*platform);
    registerProgramForms(*forms);
}

ProgramRig::~ProgramRig() {
    forms.reset();
    // Unloaded windows wait for deletion; their timers must go while the clock still exists.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void ProgramRig::writeFile(const QString& name, const QByteArray& bytes) const {
    QFile f(QDir(dir.path()).filePath(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

void ProgramRig::setting(const QString& key, const QString& value) const {
    Settings(dir.path()).write(QStringLiteral("config"), key, value);
}
