#include "TvWindow.h"

#include "PlayerCommands.h"
#include "ProgrammeLine.h"
#include "catalogue/ChannelListBox.h"
#include "catalogue/GuideClient.h"

TvWindow::TvWindow(Forms& forms) : PlayerWindow(forms, QString::fromLatin1(kName), design::Which::Tv) {
    setCurrentChannelRecord(this);
    // Before the commands: the media session they make follows the programme line.
    if (GuideClient* guide = forms.shared<GuideClient>()) {
        canales->setToolTipSource([this, guide](int row) {
            return GuideClient::tooltip(guide->nowNext(canales->item(row)->text()),
                                        QTimeZone::systemTimeZone());
        });
        new ProgrammeLine(*this, *guide);
    }
    new PlayerCommands(*this, this);
}
