// Tags and cover art travel from the input to the master in every tagged format, as written by
// independent taggers (metaflac, sox) and read back by TagLib and metaflac.
#include <sndfile.h>
#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <fstream>

#include "tests/apps/cli_fixture.h"

namespace plumbrook::test {
namespace {

// A valid PNG of one pixel.
constexpr unsigned char kCoverBytes[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00, 0x00, 0x90, 0x77, 0x53, 0xde, 0x00, 0x00, 0x00,
    0x0c, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0x00, 0x00, 0x03, 0x01, 0x01, 0x00, 0xc9,
    0xfe, 0x92, 0xef, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
const std::string kCover(reinterpret_cast<const char*>(kCoverBytes), sizeof kCoverBytes);

// The pictures TagLib finds in a master, as bytes.
std::vector<std::string> pictures(const std::string& file) {
  std::vector<std::string> found;
  auto id3 = [&](TagLib::ID3v2::Tag* tag) {
    if (!tag) return;
    for (const TagLib::ID3v2::Frame* frame : tag->frameList("APIC")) {
      const TagLib::ByteVector data = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame&>(*frame).picture();
      found.emplace_back(data.data(), data.size());
    }
  };
  if (file.ends_with(".wav")) id3(TagLib::RIFF::WAV::File(file.c_str()).ID3v2Tag());
  if (file.ends_with(".aiff")) id3(TagLib::RIFF::AIFF::File(file.c_str()).tag());
  if (file.ends_with(".mp3")) id3(TagLib::MPEG::File(file.c_str()).ID3v2Tag());
  if (file.ends_with(".ogg")) {
    TagLib::Ogg::Vorbis::File ogg(file.c_str());
    for (const TagLib::FLAC::Picture* p : ogg.tag()->pictureList()) found.emplace_back(p->data().data(), p->data().size());
  }
  return found;
}

class Tags : public CliTest {
 protected:
  TagLib::PropertyMap propertiesOf(const std::string& name) const {
    TagLib::FileRef file(path(name).c_str());
    EXPECT_FALSE(file.isNull()) << name;
    return file.isNull() ? TagLib::PropertyMap() : file.file()->properties();
  }
};

TEST_F(Tags, every_tag_and_the_cover_reach_each_format) {
  ASSERT_TRUE(writeAudio(path("in.flac"), program(2, 48000, 1.0), SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
  std::ofstream(path("cover.png"), std::ios::binary) << kCover;
  const CommandResult tagged =
      run({"/usr/bin/metaflac", {"--set-tag=ISRC=GBAYE0000001", "--set-tag=COMPOSER=A Writer",
                                 "--set-tag=MASTERED_BY=Someone", "--set-tag=REPLAYGAIN_TRACK_GAIN=-3.0 dB",
                                 "--import-picture-from=cover.png", "in.flac"}, {}, "", dir().string()});
  ASSERT_EQ(tagged.status, 0) << tagged.err;

  for (const std::string out : {"out.flac", "out.wav", "out.aiff", "out.mp3", "out.ogg"}) {
    SCOPED_TRACE(out);
    const CommandResult r = plumbrook({"render", "in.flac", "-o", out, "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    const TagLib::PropertyMap tags = propertiesOf(out);
    EXPECT_EQ(tags["ISRC"].toString(), "GBAYE0000001");
    EXPECT_EQ(tags["COMPOSER"].toString(), "A Writer");
    EXPECT_EQ(tags["MASTERED_BY"].toString(), "Someone");
    EXPECT_FALSE(tags.contains("REPLAYGAIN_TRACK_GAIN")) << "it describes the unprocessed audio";
    if (out == "out.flac") {
      const CommandResult exported = run({"/usr/bin/metaflac", {"--export-picture-to=-", out}, {}, "", dir().string()});
      EXPECT_EQ(exported.out, kCover);
    } else {
      EXPECT_EQ(pictures(path(out)), std::vector<std::string>{kCover});
    }
  }

  // Comments written by sox into an Ogg Vorbis file.
  const CommandResult sox = run({"/usr/bin/sox", {"in.flac", "--comment", "ISRC=GBAYE0000002", "--add-comment",
                                                  "MASTERED_BY=Another", "sox.ogg"}, {}, "", dir().string()});
  ASSERT_EQ(sox.status, 0) << sox.err;
  ASSERT_EQ(plumbrook({"render", "sox.ogg", "-o", "sox.wav", "-q"}).status, 0);
  const TagLib::PropertyMap fromSox = propertiesOf("sox.wav");
  EXPECT_EQ(fromSox["ISRC"].toString(), "GBAYE0000002");
  EXPECT_EQ(fromSox["MASTERED_BY"].toString(), "Another");
}

// Odd tags and pictures from a client's file: the master is written, readable and tagged, and
// each repair is named.
TEST_F(Tags, invalid_text_and_oversized_pictures_never_spoil_a_master) {
  // Placeholders swapped for invalid UTF-8 of the same length after libsndfile wrote the FLAC.
  {
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = 48000;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path("odd.flac").c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_set_string(file, SF_STR_TITLE, "Fine Title");
    sf_set_string(file, SF_STR_ARTIST, "#ARTIST#");
    sf_set_string(file, SF_STR_ALBUM, "#ALB#");
    const Audio in = program(2, 48000, 0.5);
    sf_writef_double(file, in.samples.data(), in.frames());
    sf_close(file);
    std::string bytes = fileBytes(path("odd.flac"));
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"#ARTIST#", "\xff\xfe\xc3" "ab\xc0\xaf!"},
                                   {"#ALB#", "x\xed\xa0\x80y"}}) {
      const size_t at = bytes.find(from);
      ASSERT_NE(at, std::string::npos);
      bytes.replace(at, from.size(), to);
    }
    std::ofstream(path("odd.flac"), std::ios::binary) << bytes;
  }
  const CommandResult odd = plumbrook({"render", "odd.flac", "-o", "odd-master.flac", "-q"});
  ASSERT_EQ(odd.status, 0) << odd.err;
  EXPECT_NE(odd.err.find("artist tag of 'odd.flac' is not valid UTF-8"), std::string::npos) << odd.err;
  EXPECT_NE(odd.err.find("album tag"), std::string::npos) << odd.err;
  EXPECT_EQ(run({"/usr/bin/flac", {"-t", "odd-master.flac"}, {}, "", dir().string()}).status, 0);
  const TagLib::PropertyMap repaired = propertiesOf("odd-master.flac");
  EXPECT_EQ(repaired["TITLE"].toString(), "Fine Title");
  EXPECT_EQ(repaired["ARTIST"].toString().to8Bit(true), "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd" "ab\xef\xbf\xbd\xef\xbf\xbd!");
  EXPECT_EQ(repaired["ALBUM"].toString().to8Bit(true), "x\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbdy");

  // A FLAC picture block's length has 24 bits: a 17 MiB cover cannot go into a FLAC master.
  ASSERT_TRUE(writeAudio(path("cover.wav"), program(2, 48000, 0.5), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  {
    TagLib::RIFF::WAV::File wav(path("cover.wav").c_str());
    auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
    frame->setMimeType("image/png");
    frame->setDescription("Poster");
    frame->setPicture(TagLib::ByteVector(17u << 20, 'p'));
    wav.ID3v2Tag()->addFrame(frame);
    wav.ID3v2Tag()->setTitle("Covered");
    ASSERT_TRUE(wav.save());
  }
  const CommandResult big = plumbrook({"render", "cover.wav", "-o", "cover.flac", "-q"});
  ASSERT_EQ(big.status, 0) << big.err;
  EXPECT_NE(big.err.find("picture 1 (\"Poster\") of 17.0 MiB is left out"), std::string::npos) << big.err;
  EXPECT_EQ(run({"/usr/bin/flac", {"-t", "cover.flac"}, {}, "", dir().string()}).status, 0);
  EXPECT_EQ(propertiesOf("cover.flac")["TITLE"].toString(), "Covered");
}

}  // namespace
}  // namespace plumbrook::test
