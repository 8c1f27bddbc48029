// Tags and embedded pictures carried from the input file to the master (TagLib).
#include "apps/tags.h"

#include <sndfile.h>
#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace plumbrook::cli {
namespace {

struct Picture {
  int type = 3;  // front cover; the same numbering in ID3v2 and FLAC
  TagLib::String mime;
  TagLib::String description;
  TagLib::ByteVector data;
};

// The TagLib file class for a libsndfile format, opened on path; null for formats without tags.
std::unique_ptr<TagLib::File> openTagged(const std::string& path, int format) {
  const char* name = path.c_str();
  std::unique_ptr<TagLib::File> file;
  switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV: file = std::make_unique<TagLib::RIFF::WAV::File>(name, false); break;
    case SF_FORMAT_AIFF: file = std::make_unique<TagLib::RIFF::AIFF::File>(name, false); break;
    case SF_FORMAT_FLAC: file = std::make_unique<TagLib::FLAC::File>(name, false); break;
    case SF_FORMAT_MPEG: file = std::make_unique<TagLib::MPEG::File>(name, false); break;
    case SF_FORMAT_OGG:
      if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS) file = std::make_unique<TagLib::Ogg::Opus::File>(name, false);
      else file = std::make_unique<TagLib::Ogg::Vorbis::File>(name, false);
      break;
    default: return nullptr;
  }
  if (!file->isValid()) return nullptr;
  return file;
}

TagLib::ID3v2::Tag* id3Of(TagLib::File* file, bool create) {
  if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) return create || wav->hasID3v2Tag() ? wav->ID3v2Tag() : nullptr;
  if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) return create || aiff->hasID3v2Tag() ? aiff->tag() : nullptr;
  if (auto* mp3 = dynamic_cast<TagLib::MPEG::File*>(file)) return create || mp3->hasID3v2Tag() ? mp3->ID3v2Tag(true) : nullptr;
  return nullptr;
}

TagLib::Ogg::XiphComment* xiphOf(TagLib::File* file) {
  if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) return vorbis->tag();
  if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file)) return opus->tag();
  return nullptr;
}

std::vector<Picture> picturesOf(TagLib::File* file) {
  std::vector<Picture> pictures;
  auto addFlacStyle = [&](const TagLib::List<TagLib::FLAC::Picture*>& list) {
    for (const TagLib::FLAC::Picture* p : list)
      pictures.push_back({static_cast<int>(p->type()), p->mimeType(), p->description(), p->data()});
  };
  if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
    addFlacStyle(flac->pictureList());
    // Some taggers put pictures into the Vorbis comment instead of a picture block.
    if (flac->hasXiphComment()) addFlacStyle(flac->xiphComment()->pictureList());
  } else if (TagLib::Ogg::XiphComment* xiph = xiphOf(file)) {
    addFlacStyle(xiph->pictureList());
  } else if (TagLib::ID3v2::Tag* id3 = id3Of(file, false)) {
    for (const TagLib::ID3v2::Frame* frame : id3->frameList("APIC")) {
      const auto* apic = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
      if (apic) pictures.push_back({static_cast<int>(apic->type()), apic->mimeType(), apic->description(), apic->picture()});
    }
  }
  return pictures;
}

TagLib::FLAC::Picture* flacPicture(const Picture& p) {
  auto* picture = new TagLib::FLAC::Picture;
  picture->setType(static_cast<TagLib::FLAC::Picture::Type>(p.type));
  picture->setMimeType(p.mime);
  picture->setDescription(p.description);
  picture->setData(p.data);
  return picture;
}

// The property a libsndfile string is kept under.
const char* propertyNameOf(int id) {
  switch (id) {
    case SF_STR_TITLE: return "TITLE";
    case SF_STR_COPYRIGHT: return "COPYRIGHT";
    case SF_STR_ARTIST: return "ARTIST";
    case SF_STR_COMMENT: return "COMMENT";
    case SF_STR_DATE: return "DATE";
    case SF_STR_ALBUM: return "ALBUM";
    case SF_STR_LICENSE: return "LICENSE";
    case SF_STR_TRACKNUMBER: return "TRACKNUMBER";
    case SF_STR_GENRE: return "GENRE";
    default: return nullptr;
  }
}

// A FLAC metadata block's length is 24 bits; the picture block adds 32 bytes of fields.
constexpr size_t kFlacBlockBytes = (size_t{1} << 24) - 1;
constexpr size_t kFlacPictureFields = 32;
// An ID3v2 tag's size is 28 bits; some room is kept for the text frames beside the pictures.
constexpr size_t kId3TagBytes = (size_t{1} << 28) - 1;
constexpr size_t kId3TextRoom = size_t{1} << 20;

std::string sizeText(size_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

// Pictures a tag format cannot hold would be written with a wrapped length, leaving a file no
// reader accepts: those are left out, each named in a warning.
void addPictures(TagLib::File* file, const std::vector<Picture>& pictures, std::vector<std::string>& warnings) {
  const bool flacBlocks = dynamic_cast<TagLib::FLAC::File*>(file) != nullptr;
  const bool inId3 = !flacBlocks && xiphOf(file) == nullptr;
  size_t id3Used = kId3TextRoom;
  int number = 0;
  for (const Picture& p : pictures) {
    ++number;
    const size_t bytes = kFlacPictureFields + p.mime.size() + p.description.data(TagLib::String::UTF8).size() + p.data.size();
    const char* limit = nullptr;
    if (flacBlocks && bytes > kFlacBlockBytes) limit = "a FLAC picture block holds at most 16 MiB";
    if (inId3 && id3Used + bytes > kId3TagBytes) limit = "an ID3v2 tag holds at most 256 MiB";
    if (limit) {
      const std::string description = p.description.to8Bit(true);
      warnings.push_back("picture " + std::to_string(number) +
                         (description.empty() ? std::string() : " (\"" + description + "\")") + " of " +
                         sizeText(p.data.size()) + " is left out of the master: " + limit);
      continue;
    }
    id3Used += bytes;
    // TagLib takes ownership of what is added.
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
      flac->addPicture(flacPicture(p));
    } else if (TagLib::Ogg::XiphComment* xiph = xiphOf(file)) {
      xiph->addPicture(flacPicture(p));
    } else if (TagLib::ID3v2::Tag* id3 = id3Of(file, true)) {
      auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
      frame->setType(static_cast<TagLib::ID3v2::AttachedPictureFrame::Type>(p.type));
      frame->setMimeType(p.mime);
      frame->setDescription(p.description);
      frame->setPicture(p.data);
      id3->addFrame(frame);
    }
  }
}

}  // namespace

bool copyTags(const std::string& from, int fromFormat, const std::string& to, int toFormat,
              const std::vector<std::pair<int, std::string>>& repairedText, std::vector<std::string>& warnings,
              std::string& error) {
  const std::unique_ptr<TagLib::File> source = openTagged(from, fromFormat);
  if (!source) return true;
  TagLib::PropertyMap properties = source->properties();
  const std::vector<Picture> pictures = picturesOf(source.get());
  std::vector<TagLib::String> stale;
  for (const auto& [key, values] : properties)
    if (key.startsWith("REPLAYGAIN_") || key.startsWith("R128_")) stale.push_back(key);
  // A value TagLib could not decode (invalid UTF-8) comes back empty: the repaired text stands in
  // where there is one, and an empty value is not written over the master's own.
  for (const auto& [key, values] : properties)
    if (values.toString().isEmpty()) stale.push_back(key);
  for (const TagLib::String& key : stale) properties.erase(key);
  for (const auto& [id, text] : repairedText) {
    const char* key = propertyNameOf(id);
    if (key && !properties.contains(key)) properties.insert(key, TagLib::StringList(TagLib::String(text, TagLib::String::UTF8)));
  }
  if (properties.isEmpty() && pictures.empty()) return true;

  const std::unique_ptr<TagLib::File> target = openTagged(to, toFormat);
  if (!target) return true;
  target->setProperties(properties);
  addPictures(target.get(), pictures, warnings);
  if (!target->save()) {
    error = "cannot write the tags of the input into the master";
    return false;
  }
  return true;
}

}  // namespace plumbrook::cli

namespace plumbrook::cli {

std::string validUtf8(std::string_view text, bool& repaired) {
  constexpr std::string_view kReplacement = "\xef\xbf\xbd";
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    unsigned least = 0;  // the smallest code point of this length: anything less is overlong
    unsigned code = 0;
    if (lead < 0x80) length = 1, code = lead;
    else if ((lead & 0xe0) == 0xc0) length = 2, least = 0x80, code = lead & 0x1fu;
    else if ((lead & 0xf0) == 0xe0) length = 3, least = 0x800, code = lead & 0x0fu;
    else if ((lead & 0xf8) == 0xf0) length = 4, least = 0x10000, code = lead & 0x07u;
    bool valid = length > 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xc0) == 0x80;
      code = (code << 6) | (next & 0x3fu);
    }
    valid = valid && code >= least && code <= 0x10ffff && (code < 0xd800 || code > 0xdfff);
    if (valid) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out.append(kReplacement);
      repaired = true;
      ++i;
    }
  }
  return out;
}

}  // namespace plumbrook::cli
