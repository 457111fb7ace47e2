#include "Dispatch.h"

#include "base/Endpoints.h"
#include "catalogue/ChannelList.h"
#include "catalogue/ChannelListBox.h"
#include "platform/MediaPlayer.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "platform/WebBrowser.h"

#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace playback {

namespace {

const QString kBlank = QStringLiteral("about:blank");
const QString kNotAvailable = QStringLiteral("No Disp.");
constexpr int kNameLeadBlanks = 39; // lets the caption marquee scroll the name in

void setShown(QWidget* w, bool shown) {
    if (w)
        w->setVisible(shown);
}
void setEnabledIf(QWidget* w, bool on) {
    if (w)
        w->setEnabled(on);
}

struct Dispatch {
    const DispatchControls& c;
    Platform& platform;
    const Endpoints& endpoints;
    // Enter in the radio window's search box leaves the control-bar pictures as they are.
    bool touchPictures;

    void pictures(bool enabled) const {
        if (!touchPictures)
            return;
        setEnabledIf(c.playPicture, enabled);
        setEnabledIf(c.stopPicture, enabled);
    }

    void blankBrowser() const {
        c.browser->setSilent(true);
        c.browser->Navigate(kBlank);
    }

    void stream(const QByteArray& name) const {
        if (c.tv)
            c.browser->setSilent(true);
        c.player->setURL(QString());
        c.player->setURL(endpoints.asxResolver(name, *c.list_version));
        if (c.tv)
            c.pause->setEnabled(true);
        else
            setShown(c.frame, false);
        c.recordReady->setEnabled(true);
        c.record->setText(QStringLiteral("Espere"));
        if (c.tv)
            c.mini->setEnabled(true);
        setShown(c.playState, false);
        setShown(c.pauseState, true);
        setShown(c.playPicture, false);
        setShown(c.stopPicture, true);
        pictures(true);
    }

    void page(const QByteArray& name) const {
        setShown(c.browserArea, true);
        blankBrowser();
        c.record->setEnabled(false);
        c.recordReady->setEnabled(false);
        c.record->setText(kNotAvailable);
        c.pause->setEnabled(false);
        if (c.tv)
            c.mini->setEnabled(true);
        else
            setShown(c.frame, true);
        c.browser->Navigate(endpoints.htmlResolver(name, *c.list_version));
        pictures(false);
    }

    // The channel's own address: the TV window offers the desktop's browser, the radio window
    // shows it in its own when it is a web page.
    void ownAddress(const QString& address) const {
        if (c.tv) {
            c.mini->setEnabled(false);
            c.browser->setSilent(true);
            const int answer = platform.dialogs->MsgBox(
                QStringLiteral("Este canal no puede reproducirse en Sintonex\r\n"
                               "¿Desea reproducirlo en su navegador web?"),
                MsgStyle::YesNoQuestion, QStringLiteral("No puede reproducirse en Sintonex"));
            if (answer != kAnswerYes)
                return;
            platform.shell->open(address);
            pictures(false);
            return;
        }
        c.browser->setSilent(true);
        if (!isWebPage(QUrl(address, QUrl::StrictMode))) {
            c.record->setText(kNotAvailable);
            pictures(false);
            platform.dialogs->MsgBox(QStringLiteral("Este canal no puede reproducirse en Sintonex"),
                                     MsgStyle::Exclamation,
                                     QStringLiteral("No puede reproducirse en Sintonex"));
            return;
        }
        c.browser->Navigate(kBlank);
        setShown(c.browserArea, true);
        setShown(c.frame, true);
        c.record->setText(kNotAvailable);
        c.browser->Navigate(address);
        c.browser->setSilent(true);
        pictures(false);
    }
};

} // namespace

void dispatchChannel(const DispatchControls& c, Platform& platform, const Endpoints& endpoints,
                     Trigger trigger) {
    const int row = c.canales->ListIndex();
    if (row < 0)
        return; // nothing selected: nothing to play
    const QListWidgetItem& item = *c.canales->item(row);
    const QString channelName = item.text();
    const QByteArray name = catalogue::nameBytesOf(item);
    const Dispatch d{c, platform, endpoints, c.tv || trigger == Trigger::List};

    if (c.tv) {
        c.current->current_index = QString::number(row);
        c.pause->setText(QStringLiteral("II"));
        c.pause->setToolTip(QStringLiteral("Stop"));
    }
    d.blankBrowser();
    c.player->close();
    c.channelName->setText(QString(kNameLeadBlanks, QLatin1Char(' ')) + channelName);
    if (c.dispatchedName)
        *c.dispatchedName = channelName;
    c.record->setEnabled(false);
    // A readiness still pending from the channel before must not ready recording for this one.
    c.recordReady->setEnabled(false);
    if (!c.tv)
        c.mini->setEnabled(true);
    setShown(c.browserArea, false);

    const QString data = c.channel_data->value(row);
    if (data == QLatin1String("asx"))
        d.stream(name);
    else if (data == QLatin1String("html"))
        d.page(name);
    else if (data != kJoinedKind)
        d.ownAddress(data);

    if (c.tv) {
        c.current->current_channel_kind = c.channel_data->value(c.current->current_index.toInt());
        c.current->current_channel_name = channelName;
        c.current->current_channel_name_bytes = name;
    }
}

void recordReadyTick(const DispatchControls& c) {
    c.recordReady->setEnabled(false);
    c.pause->setEnabled(true);
    c.record->setEnabled(true);
    c.record->setText(QStringLiteral("Grabar"));
}

} // namespace playback
