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

void addPictures(TagLib::File* file, const std::vector<Picture>& pictures) {
  for (const Picture& p : pictures) {
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

bool copyTags(const std::string& from, int fromFormat, const std::string& to, int toFormat, std::string& error) {
  const std::unique_ptr<TagLib::File> source = openTagged(from, fromFormat);
  if (!source) return true;
  TagLib::PropertyMap properties = source->properties();
  const std::vector<Picture> pictures = picturesOf(source.get());
  std::vector<TagLib::String> stale;
  for (const auto& [key, values] : properties)
    if (key.startsWith("REPLAYGAIN_") || key.startsWith("R128_")) stale.push_back(key);
  for (const TagLib::String& key : stale) properties.erase(key);
  if (properties.isEmpty() && pictures.empty()) return true;

  const std::unique_ptr<TagLib::File> target = openTagged(to, toFormat);
  if (!target) return true;
  target->setProperties(properties);
  addPictures(target.get(), pictures);
  if (!target->save()) {
    error = "cannot write the tags of the input into the master";
    return false;
  }
  return true;
}

}  // namespace plumbrook::cli
