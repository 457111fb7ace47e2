#include "Program.h"

#include "ChooserWindow.h"
#include "SplashWindow.h"
#include "base/Forms.h"
#include "community/BackgroundChooser.h"
#include "community/ChatWindow.h"
#include "community/CreditsWindow.h"
#include "community/DonationAppeal.h"
#include "community/InviteWindow.h"
#include "community/ProblemReportWindow.h"
#include "community/RecordingErrorWindow.h"
#include "community/SupportWindow.h"
#include "platform/Platform.h"
#include "playback/RecorderWindow.h"
#include "playback/SmallVolumeWindow.h"
#include "update/ChannelSourcesWindow.h"
#include "update/ListUpdateWindow.h"
#include "update/OwnLists.h"
#include "update/ProgramDownload.h"
#include "update/SelfUpdate.h"
#include "windows/EnlargedPageWindow.h"
#include "windows/HistoryWindow.h"
#include "windows/MiniPageWindow.h"
#include "windows/MiniTvWindow.h"
#include "windows/RadioWindow.h"
#include "windows/TeletextWindow.h"
#include "windows/TrayWindow.h"
#include "windows/TvWindow.h"

void registerProgramForms(Forms& forms) {
    forms.add<SplashWindow>();
    forms.add<ChooserWindow>();
    forms.add<TvWindow>();
    forms.add<RadioWindow>();
    forms.add<SmallVolumeWindow>();
    forms.add<ListUpdateWindow>();
    forms.add<SelfUpdate>();
    forms.add<ProgramDownload>();
    forms.add<SupportWindow>();
    forms.add<InviteWindow>();
    forms.add<BackgroundChooser>();
    forms.add<DonationAppeal>();
    forms.add<CreditsWindow>();
    forms.add<ChatWindow>();
    forms.add<RecorderWindow>();
    forms.add<RecordingErrorWindow>();
    forms.add<ProblemReportWindow>();
    forms.add<MiniTvWindow>();
    forms.add<MiniPageWindow>();
    forms.add<EnlargedPageWindow>();
    forms.add<TeletextWindow>();
    forms.add<TrayWindow>();
    forms.add<ChannelSourcesWindow>();
    forms.add<HistoryWindow>();
}

void startProgram(Forms& forms) {
    // The own service's lists are followed all along the run, without a question.
    if (forms.platform().ownService)
        OwnLists::of(forms).watch();
    forms.show(QString::fromLatin1(SplashWindow::kName));
}
