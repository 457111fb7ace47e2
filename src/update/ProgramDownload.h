// actualizacion: downloads the new executable for the self-update (Form1) and is never shown for
// long. On a complete download it hands over to Form1's Timer1; on a failed one it tells the user,
// and nothing of the program is touched. GUI thread only.
#pragma once

#include "app/Forms.h"

#include <QPointer>

class Downloader;

class actualizacion : public Form {
    Q_OBJECT
public:
    static constexpr const char* kName = "actualizacion";
    explicit actualizacion(Forms& forms);

    void Form_Load() override;
    void Form_Unload() override;

private:
    void downloaded(bool ok);

    QPointer<Downloader> m_download;
};
