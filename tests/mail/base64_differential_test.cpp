// The part decoder must give exactly GMime's bytes: here it is checked against GMime's own
// decoding filter over random and damaged input and over every part of the public corpus.
#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "mail/base64_decoder.h"
#include "mail/gmime_session.h"
#include "mail/message_parser.h"
#include "mail/part_content.h"

namespace {

pst::Bytes readThroughFilter(GMimeStream* source, GMimeContentEncoding encoding) {
  GMimeStream* filtered = g_mime_stream_filter_new(source);
  if (encoding == GMIME_CONTENT_ENCODING_BASE64 || encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
      encoding == GMIME_CONTENT_ENCODING_UUENCODE) {
    GMimeFilter* decoder = g_mime_filter_basic_new(encoding, FALSE);
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered), decoder);
    g_object_unref(decoder);
  }
  pst::Bytes out;
  char buffer[4000];  // not a multiple of four, so quartets straddle reads
  while (true) {
    const ssize_t n = g_mime_stream_read(filtered, buffer, sizeof buffer);
    if (n <= 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  g_object_unref(filtered);
  return out;
}

pst::Bytes gmimeBase64(const std::string& encoded) {
  mail::ensureGMimeInitialised();
  GMimeStream* memory = g_mime_stream_mem_new_with_buffer(encoded.data(), encoded.size());
  pst::Bytes out = readThroughFilter(memory, GMIME_CONTENT_ENCODING_BASE64);
  g_object_unref(memory);
  return out;
}

pst::Bytes ourBase64(const std::string& encoded) {
  pst::Bytes out(mail::base64DecodedBound(encoded.size()));
  out.resize(mail::decodeBase64(reinterpret_cast<const uint8_t*>(encoded.data()), encoded.size(), out.data()));
  return out;
}

std::string encode(const std::string& data) {
  gchar* text = g_base64_encode(reinterpret_cast<const guchar*>(data.data()), data.size());
  std::string encoded(text);
  g_free(text);
  std::string wrapped;
  for (size_t i = 0; i < encoded.size(); i += 76) wrapped += encoded.substr(i, 76) + "\r\n";
  return wrapped;
}

TEST(Base64Decoding, MatchesGMimeOnHandPickedOddities) {
  const std::vector<std::string> cases = {
      "", "=", "==", "QQ", "QQ=", "QQ==", "QUI=", "QUJD", "QUJDRA", "Q=Q=", "QQ==QUJD", "QUJD=QUJD",
      "QU\r\nJD\r\n", " Q U J D ", "QU*JD", "Q\x80UJD\xff", "QUJD====", "QUJ=\nRA==", "-- \r\nQUJD\r\n--\r\n",
      "QUJDRA==\r\n\r\n--boundary--\r\nQUJD", "=QUJD", "Q===", "QUJDR===", "QUJDRE==",
  };
  for (const std::string& text : cases) EXPECT_EQ(ourBase64(text), gmimeBase64(text)) << "input: " << text;
}

TEST(Base64Decoding, MatchesGMimeOnRandomAndDamagedInput) {
  std::mt19937 random(20261207);
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int kind = round % 3;
    if (kind == 0) {
      // Symbols mixed with whitespace, padding and garbage in every proportion.
      const size_t length = random() % (round % 50 == 0 ? 200000 : 3000);
      const unsigned garbage = random() % 40, padding = random() % 30 + 1;
      for (size_t i = 0; i < length; ++i) {
        const unsigned pick = random() % 1000;
        if (pick < garbage) text += static_cast<char>(random() % 256);
        else if (pick < garbage + padding) text += '=';
        else if (pick < garbage + padding + 30) text += (pick % 2) ? "\r\n" : " ";
        else text += alphabet[random() % 64];
      }
    } else {
      // Well-formed base64, then cut, padded early or followed by more data.
      std::string data(random() % 5000, '\0');
      for (char& c : data) c = static_cast<char>(random());
      text = encode(data);
      if (!text.empty()) {
        const size_t cut = random() % text.size();
        switch (random() % 4) {
          case 0: text.resize(cut); break;
          case 1: text.insert(cut, random() % 2 ? "=" : "=="); break;
          case 2: text += "\r\n--frontier--\r\ntrailing text, not base64\r\n"; break;
          default: text.insert(cut, 1, static_cast<char>(random() % 256)); break;
        }
      }
    }
    ASSERT_EQ(ourBase64(text), gmimeBase64(text)) << "round " << round << ", " << text.size() << " bytes";
  }
}

void collectLeafParts(GMimeObject*, GMimeObject* part, gpointer data) {
  if (GMIME_IS_PART(part)) static_cast<std::vector<GMimePart*>*>(data)->push_back(GMIME_PART(part));
  if (GMIME_IS_MESSAGE_PART(part)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
    if (inner) g_mime_message_foreach(inner, collectLeafParts, data);
  }
}

TEST(Base64Decoding, EveryPartOfTheCorpusDecodesAsGMimeDecodesIt) {
  const std::filesystem::path corpus = std::filesystem::path(VANTOREL_TEST_DATA) / "corpus";
  size_t base64Parts = 0, otherParts = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
    if (entry.path().extension() != ".msg") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const pst::Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    GMimeMessage* message = mail::parseMessageBytes(bytes);
    if (!message) continue;
    std::vector<GMimePart*> parts;
    g_mime_message_foreach(message, collectLeafParts, &parts);
    for (GMimePart* part : parts) {
      GMimeDataWrapper* wrapper = g_mime_part_get_content(part);
      if (!wrapper) continue;
      GMimeStream* raw = g_mime_data_wrapper_get_stream(wrapper);
      g_mime_stream_reset(raw);
      const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(wrapper);
      const pst::Bytes expected = readThroughFilter(raw, encoding);
      g_mime_stream_reset(raw);
      EXPECT_EQ(mail::decodedPartContent(part), expected) << entry.path();
      const std::string text = mail::decodedPartText(part);
      EXPECT_EQ(pst::Bytes(text.begin(), text.end()), expected) << entry.path();
      (encoding == GMIME_CONTENT_ENCODING_BASE64 ? base64Parts : otherParts)++;
    }
    g_object_unref(message);
  }
  EXPECT_GT(base64Parts, 100u);
  EXPECT_GT(otherParts, 100u);
}

}  // namespace
