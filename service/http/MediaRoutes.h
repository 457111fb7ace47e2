// The demo's media: files and live HLS channels of the media folder, and the endless streams of
// the demo's radio and TS channels, paced like a broadcast, with ICY titles where the player asks.
#pragma once

#include "http/PacedStream.h"

class HttpHost;
class ListPublisher;
class Media;

struct StreamSettings {
    size_t icyMetaint = 16000; // audio bytes between ICY metadata blocks
    double titleSeconds = 5;   // of audio per rotating title
    TitleScript titleScript;   // set: these titles instead, "{emisora}" the channel's name
    double speed = 1;          // after the burst, this many times real time
};

void addMediaRoutes(HttpHost& host, const Media& media);
void addStreamRoutes(HttpHost& host, const Media& media, const ListPublisher& lists,
                     const StreamSettings& settings);
