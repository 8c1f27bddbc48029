// Deployment values of the maker's update service: web-site origin, feed URL, support folder.
#pragma once

#include <string>
#include <string_view>

namespace quillfen::updates {

/// Scheme and host of the maker's web site, without a trailing slash; notice pages are appended to it.
inline constexpr std::string_view kMakerOrigin = "https://quillfen.example";

/// The feed endpoint used unless QUILLFEN_UPDATES_URL names another one.
inline std::string defaultFeedUrl() { return std::string(kMakerOrigin) + "/updates.json"; }

/// The folder under <application support>/Quillfen that holds the shared record and marker files.
inline constexpr std::string_view kSupportSubfolder = "Updates";

}  // namespace quillfen::updates
