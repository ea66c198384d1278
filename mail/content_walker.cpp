#include "mail/content_walker.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <unordered_set>
#include <optional>

#include "mail/attachment_names.h"
#include "mail/charset.h"
#include "mail/encoded_words.h"
#include "mail/header_access.h"
#include "mail/header_guard.h"
#include "mail/message_builder.h"
#include "mail/message_parser.h"
#include "mail/part_content.h"
#include "mail/tags.h"

namespace mail {
namespace {

using pst::messaging::AttachmentContent;

// Multipart nesting beyond this is kept whole as one attachment instead of walked.
constexpr int kMaxMultipartDepth = 64;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// `text` without its RFC 822 comments ("multipart/mixed (a comment)"), which GMime skips too.
std::string withoutComments(const std::string& text) {
  std::string out;
  int depth = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (depth > 0 && c == '\\') {
      ++i;  // a quoted character inside a comment
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && depth > 0) {
      --depth;
    } else if (depth == 0) {
      out += c;
    }
  }
  return out;
}

// The raw Content-Type value of a leaf part when it is no type/subtype pair, which GMime reads
// as application/octet-stream (dropping its parameters) and RFC 2045 section 5.2 as text/plain.
// A multipart or a message part was read by its type, so its type was valid.
std::optional<std::string> invalidContentType(GMimeObject* object) {
  if (!GMIME_IS_PART(object)) return std::nullopt;
  const char* header = g_mime_object_get_header(object, "Content-Type");
  if (!header) return std::nullopt;
  const std::string raw = header;
  const std::string type = withoutComments(raw.substr(0, raw.find(';')));
  auto isToken = [](std::string_view t) {
    if (t.empty()) return false;
    for (unsigned char c : t)
      if (c <= ' ' || c >= 0x7F || std::string_view("()<>@,;:\\\"/[]?=").find(static_cast<char>(c)) != std::string_view::npos)
        return false;
    return true;
  };
  const size_t begin = type.find_first_not_of(" \t\r\n");
  const size_t end = type.find_last_not_of(" \t\r\n");
  const std::string trimmedType = begin == std::string::npos ? std::string() : type.substr(begin, end - begin + 1);
  const size_t slash = trimmedType.find('/');
  if (slash != std::string::npos && isToken(std::string_view(trimmedType).substr(0, slash)) &&
      isToken(std::string_view(trimmedType).substr(slash + 1)))
    return std::nullopt;
  return raw;
}

std::string mimeTypeOf(GMimeObject* object) {
  if (invalidContentType(object)) return "text/plain";
  GMimeContentType* type = g_mime_object_get_content_type(object);
  if (!type) return "application/octet-stream";
  const char* media = g_mime_content_type_get_media_type(type);
  const char* sub = g_mime_content_type_get_media_subtype(type);
  return lower(std::string(media ? media : "application") + "/" + (sub ? sub : "octet-stream"));
}

std::string charsetOf(GMimeObject* object) {
  if (const char* charset = g_mime_object_get_content_type_parameter(object, "charset")) return charset;
  // An invalid type loses its parameters in GMime; its charset still names the text's bytes.
  if (const auto raw = invalidContentType(object)) {
    const std::string lowered = lower(*raw);
    for (size_t at = lowered.find("charset"); at != std::string::npos; at = lowered.find("charset", at + 1)) {
      size_t i = at + 7;
      while (i < raw->size() && ((*raw)[i] == ' ' || (*raw)[i] == '\t')) ++i;
      if (i >= raw->size() || (*raw)[i] != '=') continue;
      ++i;
      while (i < raw->size() && ((*raw)[i] == ' ' || (*raw)[i] == '\t')) ++i;
      const bool quoted = i < raw->size() && (*raw)[i] == '"';
      if (quoted) ++i;
      std::string value;
      while (i < raw->size() && (quoted ? (*raw)[i] != '"' : (*raw)[i] != ';' && (*raw)[i] != ' ' && (*raw)[i] != '\t'))
        value += (*raw)[i++];
      return value;
    }
  }
  return "";
}

bool isAttachmentDisposition(GMimeObject* object) {
  GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
  if (!disposition) return false;
  const char* value = g_mime_content_disposition_get_disposition(disposition);
  return value && strcasecmp(value, "attachment") == 0;
}

std::string stripAngles(std::string id) {
  while (!id.empty() && (id.front() == '<' || id.front() == ' ')) id.erase(id.begin());
  while (!id.empty() && (id.back() == '>' || id.back() == ' ')) id.pop_back();
  return id;
}

bool isPkcs7Mime(GMimeObject* object, const std::string& mimeType) {
  if (mimeType == "application/pkcs7-mime" || mimeType == "application/x-pkcs7-mime") return true;
  if (mimeType == "application/octet-stream") {
    const std::string name = lower(declaredFileName(object));
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".p7m") == 0;
  }
  return false;
}

class Walker {
 public:
  Walker(uint64_t fallbackTime, int embeddingDepth, bool defused)
      : fallbackTime_(fallbackTime), embeddingDepth_(embeddingDepth), defused_(defused) {}

  void walk(GMimeObject* object, bool bodyCandidate, int depth) {
    if (!object) return;
    if (depth > kMaxMultipartDepth) {
      // Kept as it stands, headers included: too deep to take apart.
      addBytes(serializedObject(object), fallbackFileName("application/octet-stream", nextIndex()),
               "application/octet-stream");
      return;
    }
    if (GMIME_IS_MULTIPART(object)) {
      walkMultipart(GMIME_MULTIPART(object), bodyCandidate && !isAttachmentDisposition(object), depth);
    } else if (GMIME_IS_MESSAGE_PART(object)) {
      addEmbedded(GMIME_MESSAGE_PART(object));
    } else if (GMIME_IS_PART(object)) {
      walkLeaf(GMIME_PART(object), bodyCandidate, depth);
    }
  }

  WalkedContent finish() {
    markInlineImages();
    return std::move(result_);
  }

 private:
  void walkMultipart(GMimeMultipart* multipart, bool bodyCandidate, int depth) {
    GMimeObject* object = GMIME_OBJECT(multipart);
    const std::string type = mimeTypeOf(object);
    const int count = g_mime_multipart_get_count(multipart);
    if (count == 0) {
      // No boundary line matched: everything after the headers sits in the prologue.
      keepUnsplitText(multipart, bodyCandidate);
      return;
    }
    if (type == "multipart/alternative" && bodyCandidate && !bodyTaken_) {
      walkAlternative(multipart, depth);
      return;
    }
    if (type == "multipart/related" && count > 0) {
      const int root = relatedRoot(multipart);
      walk(g_mime_multipart_get_part(multipart, root), bodyCandidate, depth + 1);
      for (int i = 0; i < count; ++i) {
        if (i != root) walk(g_mime_multipart_get_part(multipart, i), false, depth + 1);
      }
      return;
    }
    // mixed, signed (content then signature), report, digest and unknown kinds alike: the
    // first readable text is the body, everything else an attachment.
    for (int i = 0; i < count; ++i) {
      walk(g_mime_multipart_get_part(multipart, i), bodyCandidate, depth + 1);
    }
  }

  void keepUnsplitText(GMimeMultipart* multipart, bool bodyCandidate) {
    std::string text;
    for (const char* piece : {g_mime_multipart_get_prologue(multipart), g_mime_multipart_get_epilogue(multipart)}) {
      if (piece) text += piece;
    }
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) return;
    if (bodyCandidate && !bodyTaken_) {
      result_.body.plain = decodeUndeclaredOwned(std::move(text));
      bodyTaken_ = true;
      return;
    }
    addBytes(pst::Bytes(text.begin(), text.end()), fallbackFileName("text/plain", nextIndex()), "text/plain");
  }

  // Without a file name the part's description is the next best name a person would know it by.
  std::string describedFileName(GMimeObject* object, const std::string& mimeType) const {
    auto description = rawHeader(object, "Content-Description");
    if (!description) return {};
    std::string text = decodeHeaderText(*description);
    std::replace(text.begin(), text.end(), '/', '-');  // a description is no path
    std::replace(text.begin(), text.end(), '\\', '-');
    std::string name = sanitizeFileName(text);
    if (name.empty() || name.size() > 100) return {};
    if (fileExtension(name).empty()) name += fileExtension(fallbackFileName(mimeType, 1));
    return name;
  }

  int nextIndex() const { return static_cast<int>(result_.attachments.size()) + 1; }

  int relatedRoot(GMimeMultipart* multipart) {
    const char* start = g_mime_object_get_content_type_parameter(GMIME_OBJECT(multipart), "start");
    const int count = g_mime_multipart_get_count(multipart);
    if (start) {
      const std::string wanted = stripAngles(start);
      for (int i = 0; i < count; ++i) {
        const char* id = g_mime_object_get_content_id(g_mime_multipart_get_part(multipart, i));
        if (id && stripAngles(id) == wanted) return i;
      }
    }
    return 0;
  }

  void walkAlternative(GMimeMultipart* multipart, int depth) {
    const int count = g_mime_multipart_get_count(multipart);
    int plain = -1;
    int html = -1;
    for (int i = 0; i < count; ++i) {
      GMimeObject* child = g_mime_multipart_get_part(multipart, i);
      const std::string type = mimeTypeOf(child);
      if (isAttachmentDisposition(child)) continue;
      if (type == "text/plain" && plain < 0 && GMIME_IS_PART(child)) plain = i;
      if (type == "text/html" || type == "multipart/related" || type == "multipart/alternative" ||
          type == "multipart/mixed") {
        html = i;  // the last rich alternative is the preferred one
      }
    }
    if (plain >= 0) {
      GMimePart* part = GMIME_PART(g_mime_multipart_get_part(multipart, plain));
      result_.body.plainCharset = charsetOf(GMIME_OBJECT(part));
      result_.body.plain = decodeDeclaredOwned(decodedPartText(part), result_.body.plainCharset);
    }
    if (html >= 0) {
      GMimeObject* child = g_mime_multipart_get_part(multipart, html);
      result_.body.plain.swap(savedPlain_);
      walk(child, true, depth + 1);
      result_.body.plain.swap(savedPlain_);
      // The rich branch may itself have set a plain body (nested alternative); keep ours first.
      if (!result_.body.plain && savedPlain_) result_.body.plain = std::move(savedPlain_);
      savedPlain_.reset();
    }
    bodyTaken_ = bodyTaken_ || plain >= 0 || html >= 0;
    for (int i = 0; i < count; ++i) {
      if (i == plain || i == html) continue;
      GMimeObject* child = g_mime_multipart_get_part(multipart, i);
      const std::string type = mimeTypeOf(child);
      // Further renderings of the same text add nothing; anything else (a calendar) is kept.
      if ((type == "text/plain" || type == "text/html" || type == "text/enriched") && !isAttachmentDisposition(child)) {
        continue;
      }
      walk(child, false, depth + 1);
    }
  }

  void walkLeaf(GMimePart* part, bool bodyCandidate, int depth) {
    GMimeObject* object = GMIME_OBJECT(part);
    const std::string type = mimeTypeOf(object);
    if (bodyCandidate && !bodyTaken_ && !isAttachmentDisposition(object) && !GMIME_IS_MESSAGE_PARTIAL(object)) {
      if (type == "text/plain") {
        result_.body.plainCharset = charsetOf(object);
        result_.body.plain = decodeDeclaredOwned(decodedPartText(part), result_.body.plainCharset);
        bodyTaken_ = true;
        return;
      }
      if (type == "text/html") {
        result_.body.htmlCharset = charsetOf(object);
        result_.body.html = decodedPartContent(part);
        bodyTaken_ = true;
        return;
      }
      if (depth == 0 && isPkcs7Mime(object, type)) {
        result_.encrypted = true;
        bodyTaken_ = true;
        addByValue(part, "smime.p7m", "application/pkcs7-mime");
        return;
      }
    }
    if (type == "message/rfc822") {
      // A message part with a transfer encoding reaches us undecoded: decode, then convert.
      pst::Bytes data = decodedPartContent(part);
      if (embeddingDepth_ + 1 <= kMaxEmbeddingDepth) {
        const bool defused = boundAddressNestingInPlace(reinterpret_cast<char*>(data.data()), 0, data.size());
        if (GMimeMessage* inner = parseMessageBytes(data)) {
          if (defused) markDefused(GMIME_OBJECT(inner));
          addEmbeddedMessage(inner, GMIME_OBJECT(part));
          g_object_unref(inner);
          return;
        }
      }
    }
    addByValue(part, "", type);
  }

  void addByValue(GMimePart* part, std::string name, const std::string& mimeType) {
    GMimeObject* object = GMIME_OBJECT(part);
    if (name.empty()) name = declaredFileName(object);
    if (name.empty()) name = describedFileName(object, mimeType);
    if (name.empty()) name = fallbackFileName(mimeType, nextIndex());
    AttachmentContent attachment;
    pst::Bytes data = decodedPartContent(part);
    using namespace tags;
    attachment.props = {
        {PidTagAttachMethod, kAttachByValue},
        {PidTagAttachLongFilename, name},
        {PidTagAttachFilename, shortFileName(name)},
        {PidTagDisplayName, name},
        {PidTagAttachMimeTag, mimeType},
        {PidTagRenderingPosition, int32_t{-1}},
    };
    if (std::string ext = fileExtension(name); !ext.empty()) attachment.props.push_back({PidTagAttachExtension, ext});
    if (const char* id = g_mime_object_get_content_id(object)) {
      attachment.props.push_back({PidTagAttachContentId, stripAngles(id)});
      // Pictures of a related group are the usual case, but some mailers put the pictures an
      // HTML body shows into multipart/mixed; the cid: link decides either way.
      inlineCandidates_.push_back({result_.attachments.size(), stripAngles(id)});
    }
    if (auto location = rawHeader(object, "Content-Location")) {
      const std::string text = decodeHeaderText(*location);
      if (!text.empty()) attachment.props.push_back({PidTagAttachContentLocation, text});
    }
    attachment.props.push_back({PidTagAttachDataBinary, std::move(data)});
    result_.attachments.push_back(std::move(attachment));
  }

  // A message part kept as the message it holds (never the part's own MIME headers), under
  // the name the part gives: an empty part is an empty file of that name.
  void addWhole(GMimeMessagePart* part) {
    GMimeMessage* inner = g_mime_message_part_get_message(part);
    pst::Bytes data = inner ? serializedObject(GMIME_OBJECT(inner)) : pst::Bytes{};
    std::string name = declaredFileName(GMIME_OBJECT(part));
    if (name.empty()) name = fallbackFileName("message/rfc822", nextIndex());
    addBytes(std::move(data), name, "message/rfc822");
  }

  void addBytes(pst::Bytes data, const std::string& name, const std::string& mimeType) {
    AttachmentContent attachment;
    using namespace tags;
    attachment.props = {
        {PidTagAttachMethod, kAttachByValue},
        {PidTagAttachLongFilename, name},
        {PidTagAttachFilename, shortFileName(name)},
        {PidTagDisplayName, name},
        {PidTagAttachExtension, fileExtension(name)},
        {PidTagAttachMimeTag, mimeType},
        {PidTagRenderingPosition, int32_t{-1}},
        {PidTagAttachDataBinary, std::move(data)},
    };
    result_.attachments.push_back(std::move(attachment));
  }

  void addEmbedded(GMimeMessagePart* part) {
    GMimeMessage* inner = g_mime_message_part_get_message(part);
    if (!inner || embeddingDepth_ + 1 > kMaxEmbeddingDepth) {
      addWhole(part);
      return;
    }
    // GMime read this message as part of the outer one: it shares the outer one's defused bytes.
    if (defused_) markDefused(GMIME_OBJECT(inner));
    addEmbeddedMessage(inner, GMIME_OBJECT(part));
  }

  void addEmbeddedMessage(GMimeMessage* inner, GMimeObject* part) {
    AttachmentContent attachment;
    attachment.embedded = std::make_unique<pst::messaging::MessageContent>(
        buildMessage(inner, HeaderFields::of(GMIME_OBJECT(inner)), fallbackTime_, embeddingDepth_ + 1));
    std::string name = headerText(GMIME_OBJECT(inner), "Subject");
    if (name.empty()) name = declaredFileName(part);
    if (name.empty()) name = "Message";
    using namespace tags;
    attachment.props = {
        {PidTagAttachMethod, kAttachEmbeddedMessage},
        {PidTagDisplayName, name},
        {PidTagAttachMimeTag, std::string("message/rfc822")},
        {PidTagRenderingPosition, int32_t{-1}},
    };
    result_.attachments.push_back(std::move(attachment));
  }

  // Parts that the HTML shows through cid: links are hidden from the attachment list, as
  // Outlook does with pictures in the body. The links are gathered in one pass over the HTML:
  // a search of the whole HTML for each part took time quadratic in the pictures of a message.
  void markInlineImages() {
    if (!result_.body.html || inlineCandidates_.empty()) return;
    const std::string_view html(reinterpret_cast<const char*>(result_.body.html->data()), result_.body.html->size());
    std::unordered_set<std::string> linked;
    for (size_t i = 0; i + 4 <= html.size(); ++i) {
      if (strncasecmp(html.data() + i, "cid:", 4) != 0) continue;
      size_t end = i + 4;
      while (end < html.size() && !std::strchr(" \t\r\n\"'<>()", html[end])) ++end;
      linked.insert(lower(std::string(html.substr(i + 4, end - i - 4))));
      i = end - 1;
    }
    for (const auto& [index, id] : inlineCandidates_) {
      if (id.empty() || !linked.contains(lower(id))) continue;
      auto& props = result_.attachments[index].props;
      props.push_back({tags::PidTagAttachFlags, tags::kAttachRenderedInBody});
      props.push_back({tags::PidTagAttachmentFlags, tags::kAttachmentFlagsInline});
      props.push_back({tags::PidTagAttachmentHidden, int32_t{1}});
    }
  }

  uint64_t fallbackTime_;
  int embeddingDepth_;
  bool defused_;
  bool bodyTaken_ = false;
  std::optional<std::string> savedPlain_;
  std::vector<std::pair<size_t, std::string>> inlineCandidates_;
  WalkedContent result_;
};

}  // namespace

WalkedContent walkContent(GMimeMessage* message, uint64_t fallbackTime, int embeddingDepth) {
  Walker walker(fallbackTime, embeddingDepth, isDefused(GMIME_OBJECT(message)));
  walker.walk(g_mime_message_get_mime_part(message), true, 0);
  return walker.finish();
}

}  // namespace mail
