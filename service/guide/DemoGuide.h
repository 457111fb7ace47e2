// The programme guide of the demo TV channels, made up around the present so that the guide, the
// programme line and recording from the guide can be tried with nothing but the demo. Each channel
// writes its times in another UTC offset, as guides from different sources do.
#pragma once

#include <cstdint>
#include <string>

// XMLTV text covering 7 hours before `now` to 3 days and an hour after it.
std::string demoGuide(std::int64_t now);
