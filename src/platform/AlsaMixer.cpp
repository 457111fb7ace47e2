// The system's master volume through the ALSA mixer's "default" device (on a PulseAudio or
// PipeWire desktop, the default output's volume). The device's own range is presented to callers
// as raw values 0-65535. The handle stays open: reading through it costs well under a microsecond
// while opening costs milliseconds. Its poll descriptors, watched by socket notifiers, tell of
// outside changes at once. GUI thread only.
#include "Mixer.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QString>
#include <algorithm>
#include <alsa/asoundlib.h>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr long kRawMax = 65535;
// A failed open is retried at most this often: callers poll many times a second and an attempt
// costs about half a millisecond, which would keep an idle window busy on a machine without sound.
constexpr qint64 kRetryAfterFailureMs = 1000;

// ALSA prints every failed lookup to stderr; a missing device is an expected state here.
void quietAlsaError(const char*, int, const char*, int, const char*, ...) {}

class AlsaMixer : public Mixer {
public:
    explicit AlsaMixer(QString device) : m_device(std::move(device)) {
        static const bool quiet = [] {
            snd_lib_error_set_handler(quietAlsaError);
            return true;
        }();
        (void)quiet;
    }
    ~AlsaMixer() override { close(); }

    bool open() override {
        if (m_handle)
            return true;
        if (m_lastFailure.isValid() && !m_lastFailure.hasExpired(kRetryAfterFailureMs))
            return false;
        snd_mixer_t* h = nullptr;
        if (snd_mixer_open(&h, 0) < 0) {
            m_lastFailure.start();
            return false;
        }
        const QByteArray device = m_device.toLocal8Bit();
        if (snd_mixer_attach(h, device.constData()) < 0 ||
            snd_mixer_selem_register(h, nullptr, nullptr) < 0 || snd_mixer_load(h) < 0) {
            snd_mixer_close(h);
            m_lastFailure.start();
            return false;
        }
        m_lastFailure.invalidate();
        m_handle = h;
        watch();
        return true;
    }

    bool isOpen() const override { return m_handle != nullptr; }

    bool findVolumeControl(long& minRaw, long& maxRaw) override {
        m_elem = nullptr;
        m_lastWrite = {};
        if (!m_handle)
            return false;
        // "Master" is the output's volume on a sound server and on most cards; the others stand
        // in on cards that have no master control.
        for (const char* name : {"Master", "PCM", "Speaker", "Headphone"}) {
            snd_mixer_selem_id_t* sid = nullptr;
            snd_mixer_selem_id_alloca(&sid);
            snd_mixer_selem_id_set_index(sid, 0);
            snd_mixer_selem_id_set_name(sid, name);
            snd_mixer_elem_t* e = snd_mixer_find_selem(m_handle, sid);
            if (!e || !snd_mixer_selem_has_playback_volume(e))
                continue;
            if (snd_mixer_selem_get_playback_volume_range(e, &m_min, &m_max) < 0 || m_max <= m_min)
                continue;
            m_elem = e;
            minRaw = 0;
            maxRaw = kRawMax;
            return true;
        }
        return false;
    }

    long readRaw() override {
        if (!m_elem)
            return -1;
        if (snd_mixer_handle_events(m_handle) < 0) {
            close(); // the device went away; the next open finds its successor
            return -1;
        }
        long v = 0;
        if (snd_mixer_selem_get_playback_volume(m_elem, SND_MIXER_SCHN_FRONT_LEFT, &v) < 0)
            return -1;
        // A device with fewer steps than 65536 cannot hold every raw value; reading back the step
        // we wrote gives back what was written, so a slider is never pulled off the user's value.
        if (m_lastWrite.valid && v == m_lastWrite.device)
            return m_lastWrite.raw;
        v = std::clamp(v, m_min, m_max);
        return std::lround(double(v - m_min) * kRawMax / double(m_max - m_min));
    }

    bool writeRaw(long raw) override {
        if (!m_elem || raw < 0 || raw > kRawMax)
            return false;
        const long v = m_min + std::lround(double(raw) * double(m_max - m_min) / kRawMax);
        if (snd_mixer_selem_set_playback_volume_all(m_elem, v) < 0)
            return false;
        m_lastWrite = {true, raw, v};
        return true;
    }

    void close() override {
        for (auto& n : m_notifiers) {
            // May run inside a notifier's own signal.
            n->setEnabled(false);
            n.release()->deleteLater();
        }
        m_notifiers.clear();
        m_elem = nullptr;
        m_lastWrite = {};
        if (m_handle) {
            snd_mixer_close(m_handle);
            m_handle = nullptr;
        }
    }

private:
    void watch() {
        const int n = snd_mixer_poll_descriptors_count(m_handle);
        if (n <= 0)
            return;
        std::vector<pollfd> fds(n);
        const int got = snd_mixer_poll_descriptors(m_handle, fds.data(), n);
        for (int i = 0; i < got; ++i) {
            auto sn = std::make_unique<QSocketNotifier>(fds[i].fd, QSocketNotifier::Read);
            connect(sn.get(), &QSocketNotifier::activated, this, [this] {
                // Reading the events clears the descriptor; an error means the device is gone, and
                // closing stops a descriptor that would otherwise stay readable forever.
                if (m_handle && snd_mixer_handle_events(m_handle) < 0)
                    close();
                emit changed();
            });
            m_notifiers.push_back(std::move(sn));
        }
    }

    struct LastWrite {
        bool valid = false;
        long raw = 0;
        long device = 0;
    };

    QString m_device;
    snd_mixer_t* m_handle = nullptr;
    snd_mixer_elem_t* m_elem = nullptr;
    long m_min = 0, m_max = 0;
    LastWrite m_lastWrite;
    QElapsedTimer m_lastFailure;
    std::vector<std::unique_ptr<QSocketNotifier>> m_notifiers;
};

} // namespace

std::unique_ptr<Mixer> makeAlsaMixerOn(const QString& device) {
    return std::make_unique<AlsaMixer>(device);
}
std::unique_ptr<Mixer> makeAlsaMixer() {
    return makeAlsaMixerOn(QStringLiteral("default"));
}
