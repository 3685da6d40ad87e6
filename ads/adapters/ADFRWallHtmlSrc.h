#pragma once
// The three fixed pages of the offer wall: the tile and list layouts of the offer list, into which the
// wall adapter puts the fetched list text at the marker, and the not-found page. They are loaded with the
// bundle's resource directory as base, so their style sheets and pictures are bundle files; the script
// library comes from the "ads.jquery" endpoint.
#include <string>

class ADFRWallHtmlSrc {
  public:
    // Stands inside a single-quoted script string of both offer pages.
    static constexpr const char* kJsonMarker = "[ADFR_CPIJS_JSONDATA]";
    // A page navigates here when it has nothing to show.
    static constexpr const char* kNotFoundScheme = "adfri_notfound:";
    static constexpr const char* kJqueryPath = "/jquery.min.js";
    // The tile page never shows more articles than this, and fills up to it.
    static constexpr int kTileCount = 14;

    static std::string getAdcropsHtml();
    static std::string getAdcropsListHtml();
    static std::string getNotfoundHtml();

    // The page with every marker replaced by `listText`, each "<" written as "\u003c" so that no part of
    // the list ends the page's script early.
    static std::string withListText(const std::string& page, const std::string& listText);
};
