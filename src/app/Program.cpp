#include "Program.h"

#include "ChooserWindow.h"
#include "SplashWindow.h"
#include "base/Forms.h"
#include "catalogue/GuideClient.h"
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
#include "playback/RecordingScheduler.h"
#include "playback/SmallVolumeWindow.h"
#include "update/ChannelSourcesWindow.h"
#include "update/ListUpdateWindow.h"
#include "update/OwnLists.h"
#include "update/ProgramDownload.h"
#include "update/SelfUpdate.h"
#include "windows/EnlargedPageWindow.h"
#include "windows/GuideWindow.h"
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
    forms.add<GuideWindow>();
}

void attachSharedParts(Forms& forms) {
    new GuideClient(forms);
    auto* scheduler = new RecordingScheduler(forms);
    const QStringList missed = scheduler->missedAtStart();
    if (missed.isEmpty())
        return;
    // Told once, when the first player window is on screen: the splash and the chooser keep their
    // timing, and the box has a window to belong to.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(
        &forms, &Forms::formLoaded, &forms, [&forms, missed, connection](const QString& name) {
            if (name != QLatin1String(TvWindow::kName) && name != QLatin1String(RadioWindow::kName))
                return;
            QObject::disconnect(*connection);
            QMetaObject::invokeMethod(
                &forms,
                [&forms, missed] {
                    forms.platform().dialogs->MsgBox(
                        QStringLiteral(
                            "Estas grabaciones no se hicieron porque Sintonex no estaba abierto:\n\n") +
                            missed.join(QLatin1Char('\n')),
                        MsgStyle::OkOnly, QStringLiteral("Grabaciones programadas"));
                },
                Qt::QueuedConnection);
        });
}

void startProgram(Forms& forms) {
    // The own service's lists are followed all along the run, without a question.
    if (forms.platform().ownService)
        OwnLists::of(forms).watch();
    forms.show(QString::fromLatin1(SplashWindow::kName));
}
