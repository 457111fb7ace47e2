// PacedStream: an endless response that loops a byte buffer from its first byte at the pace of a
// broadcast (a short burst, then real time), optionally with ICY metadata blocks carrying a title
// that changes with the position in the stream. Every connection gets the same bytes, so a
// recording can be compared with the source file.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace httplib {
struct Response;
}

// Titles at audio positions: {first audio byte, title as sent}.
using TitleScript = std::vector<std::pair<uint64_t, std::string>>;

struct PacedOptions {
    std::shared_ptr<const std::string> data;
    double bytesPerSecond = 16000;
    double burstSeconds = 2;
    // ICY metadata: a block after every `metaint` bytes of audio; none when 0.
    size_t metaint = 0;
    std::vector<std::string> titles; // bytes as sent
    double titleSeconds = 5;         // of audio per title
    // Instead of `titles`: each title from the audio position it is given, in order. An empty
    // title is announced as one, which is how stations say that no song plays.
    TitleScript script;
    double speed = 1; // after the burst, this many times real time
};

// The stream's title once `audioBytes` bytes of audio have been sent.
std::string titleAt(const PacedOptions& options, uint64_t audioBytes);
// One ICY metadata block: the length byte, then StreamTitle='...'; padded with zeros. Not
// announcing gives the one-byte block that means "unchanged".
std::string icyBlock(const std::string& title, bool announce = true);
// A title script's text: lines "<audio byte offset><TAB><title>" in ascending order; "\xNN" in a
// title is that byte. Blank lines and lines starting with '#' are skipped. False, with the number of
// the first bad line, when a line is not of that form.
bool parseTitleScript(const std::string& text, TitleScript& script, size_t& badLine);
// Bytes per second of an MP3 stream from its first frame header; 16000 (128 kbit/s) when unknown.
double mp3BytesPerSecond(const std::string& data);

// Makes `res` the endless stream. `onClose` gets the audio bytes sent once the connection ends.
void servePaced(httplib::Response& res, const std::string& contentType, PacedOptions options,
                std::function<void(uint64_t audioBytes)> onClose, const std::atomic<bool>& stopping);
