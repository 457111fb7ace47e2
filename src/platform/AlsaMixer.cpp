// The system's master volume through the ALSA mixer's "default" device (on a PulseAudio or
// PipeWire desktop, the default output's volume). The device's own range is presented to callers
// as raw values 0-65535. The handle stays open; its poll descriptors tell of outside changes.
#include "Mixer.h"

#include <QSocketNotifier>
#include <alsa/asoundlib.h>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr long kRawMax = 65535;

class AlsaMixer : public Mixer {
public:
    ~AlsaMixer() override { close(); }

    bool open() override {
        if (m_handle)
            return true;
        snd_mixer_t* h = nullptr;
        if (snd_mixer_open(&h, 0) < 0)
            return false;
        if (snd_mixer_attach(h, "default") < 0 || snd_mixer_selem_register(h, nullptr, nullptr) < 0 ||
            snd_mixer_load(h) < 0) {
            snd_mixer_close(h);
            return false;
        }
        m_handle = h;
        watch();
        return true;
    }

    bool isOpen() const override { return m_handle != nullptr; }

    bool findVolumeControl(long& minRaw, long& maxRaw) override {
        m_elem = nullptr;
        if (!m_handle)
            return false;
        snd_mixer_selem_id_t* sid = nullptr;
        snd_mixer_selem_id_alloca(&sid);
        snd_mixer_selem_id_set_index(sid, 0);
        snd_mixer_selem_id_set_name(sid, "Master");
        snd_mixer_elem_t* e = snd_mixer_find_selem(m_handle, sid);
        if (!e || !snd_mixer_selem_has_playback_volume(e))
            return false;
        if (snd_mixer_selem_get_playback_volume_range(e, &m_min, &m_max) < 0 || m_max <= m_min)
            return false;
        m_elem = e;
        minRaw = 0;
        maxRaw = kRawMax;
        return true;
    }

    long readRaw() override {
        if (!m_elem)
            return -1;
        snd_mixer_handle_events(m_handle);
        long v = 0;
        if (snd_mixer_selem_get_playback_volume(m_elem, SND_MIXER_SCHN_FRONT_LEFT, &v) < 0)
            return -1;
        return std::lround(double(v - m_min) * kRawMax / double(m_max - m_min));
    }

    bool writeRaw(long raw) override {
        if (!m_elem || raw < 0 || raw > kRawMax)
            return false;
        const long v = m_min + std::lround(double(raw) * double(m_max - m_min) / kRawMax);
        return snd_mixer_selem_set_playback_volume_all(m_elem, v) >= 0;
    }

    void close() override {
        m_notifiers.clear();
        m_elem = nullptr;
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
        snd_mixer_poll_descriptors(m_handle, fds.data(), n);
        for (const pollfd& p : fds) {
            auto sn = std::make_unique<QSocketNotifier>(p.fd, QSocketNotifier::Read);
            connect(sn.get(), &QSocketNotifier::activated, this, [this] {
                if (m_handle)
                    snd_mixer_handle_events(m_handle);
                emit changed();
            });
            m_notifiers.push_back(std::move(sn));
        }
    }

    snd_mixer_t* m_handle = nullptr;
    snd_mixer_elem_t* m_elem = nullptr;
    long m_min = 0, m_max = 0;
    std::vector<std::unique_ptr<QSocketNotifier>> m_notifiers;
};

} // namespace

std::unique_ptr<Mixer> makeAlsaMixer() {
    return std::make_unique<AlsaMixer>();
}
