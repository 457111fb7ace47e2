// ListUpdateWindow: the channel-list update, the window captioned "Sintonex" that says "El proceso de
// actualización solo le llevará unos segundos." above "Verificando...". Asks the service which list
// version is current, has it confirm that version and, on the user's command, downloads both lists.
// The lists and the stored version change together or not at all: both files arrive under temporary
// names first and replace the installed ones only when both downloads are complete. GUI thread only.
#pragma once

#include "base/Forms.h"

#include <QString>

class ListDownload;
class QLabel;
class QProgressBar;
class QPushButton;
class Timer;
class WebBrowser;

class ListUpdateWindow : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "ListUpdateWindow";
    explicit ListUpdateWindow(Forms& forms);

    void Form_Load() override;
    void Form_Unload() override;

    // The body of the version page: the list version now published.
    QString current_list_version;
    // The body of the confirmation page: "ok", "no" or anything else.
    QString version_check_reply;

private:
    void versionTimer_Timer();
    void replyTimer_Timer();
    void verdictTimer_Timer();
    void startButton_Click();

    void installLists();
    void listsFailed();

    QLabel* m_noticeLabel;
    QPushButton* m_startButton;
    QProgressBar* m_progreso;
    WebBrowser* m_numeroVerCanales;
    WebBrowser* m_verificar;
    Timer* m_replyTimer;   // reads the service's confirmation
    Timer* m_versionTimer; // reads the current version and asks the service to confirm it
    Timer* m_verdictTimer; // acts on the confirmation
    ListDownload* m_lists;
};
