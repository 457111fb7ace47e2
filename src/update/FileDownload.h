// downloadFile: how the update windows download a file. The transfer runs in the background and
// shows its progress on a bar; the target file is replaced only when the whole file arrived (see
// Downloader). The transfer belongs to `owner`: unloading that window ends it, with no outcome.
#pragma once

#include <QString>
#include <functional>

class Downloader;
class Form;
class QNetworkAccessManager;
class QObject;
class QProgressBar;

// `done` runs once, from the event loop, with whether `path` now holds the file from `url`.
Downloader* downloadFile(Form& owner, const QString& url, const QString& path, QProgressBar* bar,
                         std::function<void(bool ok)> done);
// The same for an owner that is no window.
Downloader* downloadFile(QObject& owner, QNetworkAccessManager* network, const QString& url,
                         const QString& path, QProgressBar* bar, std::function<void(bool ok)> done);
