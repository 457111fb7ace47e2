// Pages: the HTML the three hosts answer with. Texts are Spanish, as the program shows them;
// every argument is UTF-8 and escaped here.
#pragma once

#include "lists/Catalogue.h"

#include <string>
#include <vector>

namespace pages {

std::string page(const std::string& title, const std::string& bodyHtml);
// A one-word reply ("ok", "no", a version number) whose body text is exactly `word`, with a title
// for the callers that show the page title.
std::string reply(const std::string& title, const std::string& word);
std::string error(int status, const std::string& detail);

std::string counter();
std::string chat();
std::string teletext(const Catalogue& catalogue, int pageNumber);
std::string channelPage(const Channel& channel, const std::string& streamAddress);
std::string unknownChannel(const std::string& name);

std::string webHome();
std::string help();
std::string search(const std::string& query);
std::string donate();
std::string reportForm();
std::string reportSent(const std::string& channel);
std::string skinsHelp();
std::string external();
std::string recommended(const std::string& friends);
std::string forumHome();
std::string forumTopic(const std::string& number);
// Where the program sends a user when a newer version exists: the version, what changed (the text
// of a changes file: paragraphs, "- " items; empty for the built-in one) and how to install it,
// from `packageName` offered beside the page or, without one, built from the sources.
std::string download(const std::string& displayVersion, const std::string& changes,
                     const std::string& packageName);

// An ASX playlist with one entry: its first address, the others as alternatives tried in order.
std::string asx(const std::string& title, const std::vector<std::string>& hrefs);

} // namespace pages
