// The service host's paths of the programme guide: what is on now and next, the grid of every
// channel, and one channel's days. Each answer reads the guide and the TV list published at that
// moment.
#pragma once

class GuidePublisher;
class HttpHost;
class ListPublisher;

void addGuideRoutes(HttpHost& host, const ListPublisher& lists, const GuidePublisher& guides);
