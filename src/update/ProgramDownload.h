// ProgramDownload: the window captioned "Actualizando...", which downloads the new executable for the
// self-update (SelfUpdate) and is never shown for long. On a complete download it hands over to
// SelfUpdate's writeScriptTimer; on a failed one it tells the user, and nothing of the program is
// touched. GUI thread only.
#pragma once

#include "base/Forms.h"

#include <QPointer>

class Downloader;

class ProgramDownload : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "ProgramDownload";
    explicit ProgramDownload(Forms& forms);

    void Form_Load() override;
    void Form_Unload() override;

private:
    void downloaded(bool ok);

    QPointer<Downloader> m_download;
};
