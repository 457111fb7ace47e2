#include "RecordingErrorWindow.h"

#include "platform/Platform.h"
#include "platform/Timer.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTime>
#include <QVBoxLayout>

RecordingErrorWindow::RecordingErrorWindow(Forms& forms) : Form(forms, QString::fromLatin1(kName)) {
    setCaption(QStringLiteral("Control de errores"));
    setSizeTwips(5400, 3600);

    Frame1 = new QGroupBox(QStringLiteral("Informe de error"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Label1 = new QLabel(Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(Frame1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Command1 = new QPushButton(QStringLiteral("Informar de este error"), this);
    Command1->setObjectName(QStringLiteral("Command1"));

    auto* frameLayout = new QVBoxLayout(Frame1);
    frameLayout->addWidget(Label1);
    frameLayout->addWidget(Label2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addWidget(Label3);
    layout->addWidget(Command1);

    Timer1 = new Timer(this, 10, true);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer2 = new Timer(this, 3500, false);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    connect(Timer1, &Timer::tick, this, &RecordingErrorWindow::Timer1_Timer);
    connect(Timer2, &Timer::tick, this, &RecordingErrorWindow::Timer2_Timer);
    connect(Command1, &QPushButton::clicked, this, &RecordingErrorWindow::Command1_Click);
}

RecordingErrorWindow::~RecordingErrorWindow() = default;

void RecordingErrorWindow::Form_Load() {
    Timer1_Timer();
} // the clock is never blank, even before a tick

void RecordingErrorWindow::Timer1_Timer() {
    const QString now = QTime::currentTime().toString(QStringLiteral("hh_mm_ss"));
    if (Label3->text() != now)
        Label3->setText(now);
}

void RecordingErrorWindow::Command1_Click() {
    setEnabled(false);
    Timer2->setEnabled(true);
}

void RecordingErrorWindow::Timer2_Timer() {
    Timer2->setEnabled(false);
    platform().dialogs->MsgBox(QStringLiteral("Gracias por reportarnos el error"));
    forms().unload(this);
}
