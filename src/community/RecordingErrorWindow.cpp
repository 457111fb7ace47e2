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

    reportFrame = new QGroupBox(QStringLiteral("Informe de error"), this);
    reportFrame->setObjectName(QStringLiteral("reportFrame"));
    numberLabel = new QLabel(reportFrame);
    numberLabel->setObjectName(QStringLiteral("numberLabel"));
    descriptionLabel = new QLabel(reportFrame);
    descriptionLabel->setObjectName(QStringLiteral("descriptionLabel"));
    descriptionLabel->setWordWrap(true);
    clockLabel = new QLabel(this);
    clockLabel->setObjectName(QStringLiteral("clockLabel"));
    reportButton = new QPushButton(QStringLiteral("Informar de este error"), this);
    reportButton->setObjectName(QStringLiteral("reportButton"));

    auto* frameLayout = new QVBoxLayout(reportFrame);
    frameLayout->addWidget(numberLabel);
    frameLayout->addWidget(descriptionLabel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(reportFrame);
    layout->addWidget(clockLabel);
    layout->addWidget(reportButton);

    clockTimer = new Timer(this, 10, true);
    clockTimer->setObjectName(QStringLiteral("clockTimer"));
    thanksTimer = new Timer(this, 3500, false);
    thanksTimer->setObjectName(QStringLiteral("thanksTimer"));
    connect(clockTimer, &Timer::tick, this, &RecordingErrorWindow::clockTimer_Timer);
    connect(thanksTimer, &Timer::tick, this, &RecordingErrorWindow::thanksTimer_Timer);
    connect(reportButton, &QPushButton::clicked, this, &RecordingErrorWindow::reportButton_Click);
}

RecordingErrorWindow::~RecordingErrorWindow() = default;

void RecordingErrorWindow::Form_Load() {
    clockTimer_Timer();
} // the clock is never blank, even before a tick

void RecordingErrorWindow::clockTimer_Timer() {
    const QString now = QTime::currentTime().toString(QStringLiteral("hh_mm_ss"));
    if (clockLabel->text() != now)
        clockLabel->setText(now);
}

void RecordingErrorWindow::reportButton_Click() {
    setEnabled(false);
    thanksTimer->setEnabled(true);
}

void RecordingErrorWindow::thanksTimer_Timer() {
    thanksTimer->setEnabled(false);
    platform().dialogs->MsgBox(QStringLiteral("Gracias por reportarnos el error"));
    forms().unload(this);
}
