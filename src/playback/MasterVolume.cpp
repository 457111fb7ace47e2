#include "MasterVolume.h"

#include "base/Forms.h"
#include "platform/Mixer.h"
#include "platform/Platform.h"

namespace {
constexpr long kRawFull = 65535;
constexpr int kFailed = 1;

// round(numerator / denominator) with a tie going to the even neighbour; both non-negative.
long roundHalfEven(long long numerator, long long denominator) {
    long long q = numerator / denominator;
    const long long twiceRest = 2 * (numerator % denominator);
    if (twiceRest > denominator || (twiceRest == denominator && q % 2 != 0))
        ++q;
    return long(q);
}
} // namespace

MasterVolume& MasterVolume::of(Forms& forms) {
    if (auto* v = forms.findChild<MasterVolume*>(QString(), Qt::FindDirectChildrenOnly))
        return *v;
    return *new MasterVolume(forms.platform(), &forms);
}

MasterVolume::MasterVolume(Platform& platform, QObject* parent) : QObject(parent), m_platform(platform) {
    if (Mixer* mixer = m_platform.mixer.get())
        connect(mixer, &Mixer::changed, this, &MasterVolume::changed);
}

long MasterVolume::percentToRaw(int percentage) {
    return roundHalfEven(1LL * percentage * kRawFull, 100);
}

int MasterVolume::rawToPercent(long raw) {
    return int(roundHalfEven(100LL * raw, kRawFull));
}

bool MasterVolume::ensureOpen() {
    Mixer* mixer = m_platform.mixer.get();
    if (!mixer) {
        m_lastResult = kFailed;
        return false;
    }
    // The handle is kept open between polls; only a fresh one needs its control looked up again.
    const bool wasOpen = mixer->isOpen();
    if (!mixer->open()) {
        m_found = false;
        m_lastResult = kFailed;
        return false;
    }
    if (!wasOpen || !m_found)
        m_found = findControl();
    return m_found;
}

long MasterVolume::openAndRead() {
    return ensureOpen() ? readRaw() : -1;
}

bool MasterVolume::findControl() {
    Mixer* mixer = m_platform.mixer.get();
    long lo = 0, hi = 0;
    if (!mixer || !mixer->findVolumeControl(lo, hi)) {
        m_lastResult = kFailed;
        return false;
    }
    m_min = lo;
    m_max = hi;
    m_lastResult = 0;
    return true;
}

long MasterVolume::readRaw() {
    Mixer* mixer = m_platform.mixer.get();
    const long raw = m_found && mixer && mixer->isOpen() ? mixer->readRaw() : -1;
    m_lastResult = raw < 0 ? kFailed : 0;
    if (raw < 0 && mixer && !mixer->isOpen())
        m_found = false; // the device went away: the next open looks the control up again
    return raw;
}

bool MasterVolume::writeRaw(long raw) {
    Mixer* mixer = m_platform.mixer.get();
    const bool ok = m_found && mixer && mixer->isOpen() && mixer->writeRaw(raw);
    m_lastResult = ok ? 0 : kFailed;
    return ok;
}

int MasterVolume::readPercentage() {
    const long raw = readRaw();
    return raw < 0 ? 0 : rawToPercent(raw);
}

void MasterVolume::setPercentage(int percentage) {
    if (percentage < 0)
        return; // not a percentage; nothing a slider can send
    if (percentage > 100) {
        if (m_platform.dialogs)
            m_platform.dialogs->MsgBox(QStringLiteral("El Valor máximo no puede ser superior a 100"),
                                       MsgStyle::Critical);
        percentage = 100;
    }
    // Another window may have closed the mixer since the last poll; the user's move still counts.
    ensureOpen();
    const long raw = percentToRaw(percentage);
    if (raw >= m_min && raw <= m_max)
        writeRaw(raw);
}

void MasterVolume::close() {
    if (Mixer* mixer = m_platform.mixer.get())
        mixer->close();
    m_found = false;
}

int MasterVolume::pollPercentage() {
    openAndRead();
    return readPercentage();
}
