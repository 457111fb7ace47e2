#include "RecorderWindow.h"

#include "base/Settings.h"
#include "community/RecordingErrorWindow.h"
#include "platform/Platform.h"
#include "platform/Timer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeDatabase>
#include <QPushButton>
#include <QStandardPaths>
#include <QTime>
#include <QVBoxLayout>

namespace {

// Megabytes in powers of ten, in the shortest form that reads back exactly, with the user's
// decimal separator and no grouping.
QString megabytes(qint64 bytes) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(double(bytes) / 1000000.0, 'f', QLocale::FloatingPointShortest);
}

QString twoDigits(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

} // namespace

RecorderWindow::RecorderWindow(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {
    setCaption(QStringLiteral("Grabadora Sintonex"));
    setSizeTwips(6500, 5400);

    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    Label2 = new QLabel(QStringLiteral("Grabadora Sintonex  Versión 0.0.1"), this);
    named(Label2, "Label2");
    Label9 =
        new QLabel(QStringLiteral("La nueva grabadora de Sintonex permite grabar la TV o Radio en archivos "
                                  "multimedia para luego ser reproducidos. Ten en cuenta que el sistema se "
                                  "encuentra en fase beta por lo que va a dar errores."),
                   this);
    named(Label9, "Label9");
    Label9->setWordWrap(true);

    Frame1 = new QGroupBox(QStringLiteral("Configuración"), this);
    named(Frame1, "Frame1");
    Text4 = new QLineEdit(Frame1);
    named(Text4, "Text4");
    Text4->hide();
    Text2 = new QLineEdit(Frame1);
    named(Text2, "Text2");
    Text3 = new QLineEdit(Frame1);
    named(Text3, "Text3");
    Text3->hide();
    Label7 = new QLabel(Frame1);
    named(Label7, "Label7");
    Text1 = new QLineEdit(Frame1);
    named(Text1, "Text1");
    Text1->setReadOnly(true);
    Command3 = new QPushButton(QStringLiteral("Cambiar"), Frame1);
    named(Command3, "Command3");

    auto* frameGrid = new QGridLayout(Frame1);
    frameGrid->addWidget(new QLabel(QStringLiteral("Nombre archivo:"), Frame1), 0, 0);
    frameGrid->addWidget(Text2, 0, 1);
    frameGrid->addWidget(Label7, 0, 2);
    frameGrid->addWidget(new QLabel(QStringLiteral("Ubicación:"), Frame1), 1, 0);
    frameGrid->addWidget(Text1, 1, 1);
    frameGrid->addWidget(Command3, 1, 2);

    Command2 = new QPushButton(QStringLiteral("Grabar"), this);
    named(Command2, "Command2");
    Command1 = new QPushButton(QStringLiteral("Parar"), this);
    named(Command1, "Command1");
    Command1->setEnabled(false);
    Label12 = new QLabel(QStringLiteral("00:00:00"), this);
    named(Label12, "Label12");
    Label1 = new QLabel(QStringLiteral("0"), this);
    named(Label1, "Label1");
    Label8 = new QLabel(QStringLiteral("MB"), this);
    named(Label8, "Label8");
    url = new QLineEdit(this);
    named(url, "url");
    url->hide();

    auto* status = new QGridLayout;
    status->addWidget(new QLabel(QStringLiteral("Tiempo grabado:"), this), 0, 0);
    status->addWidget(Label12, 0, 1, 1, 2);
    status->addWidget(new QLabel(QStringLiteral("Descargado:"), this), 1, 0);
    status->addWidget(Label1, 1, 1);
    status->addWidget(Label8, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command2);
    buttons->addWidget(Command1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label2);
    layout->addWidget(Label9);
    layout->addWidget(Frame1);
    layout->addLayout(status);
    layout->addLayout(buttons);

    Timer1 = new Timer(this, 100, false);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer12 = new Timer(this, 1000, false);
    Timer12->setObjectName(QStringLiteral("Timer12"));
    Inet1 = new Recorder(platform().network, this);
    Inet1->setObjectName(QStringLiteral("Inet1"));

    connect(Text2, &QLineEdit::textChanged, this, &RecorderWindow::Timer2_Timer);
    connect(Text4, &QLineEdit::textChanged, this, &RecorderWindow::Timer2_Timer);
    connect(Command3, &QPushButton::clicked, this, &RecorderWindow::Command3_Click);
    connect(Command2, &QPushButton::clicked, this, &RecorderWindow::Command2_Click);
    connect(Command1, &QPushButton::clicked, this, &RecorderWindow::Command1_Click);
    connect(Timer1, &Timer::tick, this, &RecorderWindow::Timer1_Timer);
    connect(Timer12, &Timer::tick, this, &RecorderWindow::Timer12_Timer);
    connect(Inet1, &Recorder::ended, this, &RecorderWindow::Inet1_Ended);
    connect(Inet1, &Recorder::failed, this,
            [this](const Recorder::Error& e) { reportError(e, QStringLiteral("Descripcion: ")); });
}

RecorderWindow::~RecorderWindow() = default;

void RecorderWindow::open(Forms& forms, const QString& extension, const QString& sourceUrl) {
    if (auto* f = static_cast<RecorderWindow*>(forms.form(QString::fromLatin1(kName))))
        f->setExtension(extension);
    forms.show(QString::fromLatin1(kName));
    if (auto* f = forms.find<RecorderWindow>())
        f->url->setText(sourceUrl);
}

void RecorderWindow::setExtension(const QString& extension) {
    Label7->setText(extension);
    if (Frame1->isEnabled() && !hasStoredFolder())
        Text4->setText(defaultFolder(extension));
    Timer2_Timer();
}

bool RecorderWindow::hasStoredFolder() const {
    const QString stored = settings().read(QStringLiteral("config"), QStringLiteral("grabadora"));
    return !stored.isEmpty() && stored != QLatin1String("error");
}

QString RecorderWindow::defaultFolder(const QString& extension) {
    // Sound goes with the user's music, anything with a picture with the videos.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QStringLiteral("grabacion") + extension,
                                                           QMimeDatabase::MatchExtension);
    const auto kind = type.name().startsWith(QLatin1String("audio/")) ? QStandardPaths::MusicLocation
                                                                      : QStandardPaths::MoviesLocation;
    QString folder = QStandardPaths::writableLocation(kind);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString RecorderWindow::extension() const {
    return Label7->text();
}

void RecorderWindow::Form_Load() {
    // A stored folder is used as it is; without one the desktop's own folder for the kind of
    // recording is offered (the opener's extension refines it).
    Text4->setText(hasStoredFolder() ? settings().read(QStringLiteral("config"), QStringLiteral("grabadora"))
                                     : defaultFolder(Label7->text()));
    Text2->setText(QTime::currentTime().toString(QStringLiteral("hh_mm_ss")));
}

void RecorderWindow::Form_Unload() {
    // The close box (or any unload) cancels the request; what was received stays in the file.
    Inet1->stop();
}

void RecorderWindow::Timer2_Timer() {
    // Once recording, the path is the file being written: an opener setting the extension again
    // must not point the size display and the saved message elsewhere.
    if (!Frame1->isEnabled())
        return;
    Text3->setText(Text2->text());
    Text1->setText(Text4->text() + Text3->text() + Label7->text());
}

void RecorderWindow::Command3_Click() {
    const QString path =
        platform().dialogs->chooseFolder(this, QStringLiteral("Elige la carpeta de destino"));
    if (!path.isEmpty())
        Text4->setText(path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/'));
    // Written back also when cancelled.
    settings().write(QStringLiteral("config"), QStringLiteral("grabadora"), Text4->text());
}

void RecorderWindow::Command2_Click() {
    Timer2_Timer();
    const QString target = Text1->text();
    const QFileInfo existing(target);
    if (existing.exists() && !existing.isDir() &&
        platform().dialogs->MsgBox(QStringLiteral("¿Deseas reemplazar el archivo existente?"),
                                   MsgStyle::YesNoQuestion) != kAnswerYes)
        return;

    Timer1->setEnabled(true);
    Frame1->setEnabled(false);
    rec_seconds = 0;
    rec_minutes = 0;
    rec_hours = 0;
    Timer12->setEnabled(true);
    Command1->setEnabled(true);
    Command2->setEnabled(false);
    Recorder::Error e;
    if (!Inet1->start(url->text(), target, &e))
        reportError(e, QStringLiteral("Descripcion del error: "));
}

void RecorderWindow::Inet1_Ended(qint64 bytes) {
    // A response with no body at all leaves an empty file and closes the window. Otherwise the
    // file is complete and closed, and the window waits for "Parar".
    if (bytes == 0)
        forms().unload(this);
}

void RecorderWindow::Timer1_Timer() {
    // Until this recording has created the file, a file of that name is someone else's.
    if (!Inet1->fileCreated())
        return;
    const QFileInfo file(Text1->text());
    if (!file.exists())
        return; // the last value stays
    recorded_size = file.size();
    const QString shown = megabytes(recorded_size);
    if (Label1->text() != shown)
        Label1->setText(shown);
}

void RecorderWindow::Timer12_Timer() {
    if (++rec_seconds == 60) {
        rec_seconds = 0;
        ++rec_minutes;
    }
    if (rec_minutes == 60) {
        rec_minutes = 0;
        rec_seconds = 0;
        ++rec_hours;
    }
    Label12->setText(twoDigits(rec_hours) + QLatin1Char(':') + twoDigits(rec_minutes) + QLatin1Char(':') +
                     twoDigits(rec_seconds));
}

void RecorderWindow::Command1_Click() {
    Inet1->stop(); // every byte received is on disk and the file closed before the message
    if (Inet1->bytesWritten() > 0) {
        platform().dialogs->MsgBox(QStringLiteral("La grabación se ha guardado correctamente en ") +
                                   Text1->text());
    } else {
        // Stopped while still connecting (or before the stream sent anything): there is no
        // recording, and an empty file of ours would only look like one.
        if (Inet1->fileCreated())
            QFile::remove(Text1->text());
        platform().dialogs->MsgBox(
            QStringLiteral("No se ha grabado nada: la emisión todavía no había enviado datos."),
            MsgStyle::Exclamation);
    }

    // Every other window closes through the registry, then this one, then the run ends even if
    // an unload handler brought a window back.
    const QString mine = Caption();
    for (int guard = 2 * int(forms().loaded().size()) + 2; guard > 0 && forms().loaded().size() > 1;
         --guard) {
        Form* other = nullptr;
        for (Form* f : forms().loaded())
            if (f->Caption() != mine) {
                other = f;
                break;
            }
        if (!other)
            break;
        forms().unload(other);
    }
    forms().unload(this);
    forms().endProgram();
}

void RecorderWindow::reportError(const Recorder::Error& e, const QString& descriptionPrefix) {
    Inet1->stop();
    const QString number = QString::number(e.number);
    if (auto* w = static_cast<RecordingErrorWindow*>(
            forms().form(QString::fromLatin1(RecordingErrorWindow::kName)))) {
        w->Label1->setText(QStringLiteral("Numero error: ") + number);
        w->Label2->setText(descriptionPrefix + e.description);
    }
    platform().dialogs->MsgBox(QStringLiteral("Error: ") + number, MsgStyle::Critical);
    forms().unload(this);
    forms().show(QString::fromLatin1(RecordingErrorWindow::kName));
}
