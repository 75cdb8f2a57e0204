// Builders of the two standard resources an installer carries besides its own: the icon (from an
// .ico file) and the version information. Pure functions, any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pe_image.h"

namespace tarvo {

// The icon group `group` and its images (ids 1, 2, ...) from the bytes of an .ico file, in language;
// false with a reason when the file is not an icon.
bool iconResources(const std::vector<unsigned char>& ico, std::uint16_t group, std::uint16_t language,
                   std::vector<Resource>* out, std::string* error);

struct VersionInfo {
    std::uint16_t version[4] = {1, 0, 0, 0};
    std::string versionText;  // as written in the metadata ("1.2"), or empty for "1.0.0.0"
    std::string productName, publisher, description, copyright, originalFilename;
};

// The VS_VERSIONINFO block (id 1) with one string table for language, Unicode.
Resource versionResource(const VersionInfo& info, std::uint16_t language);

}  // namespace tarvo
