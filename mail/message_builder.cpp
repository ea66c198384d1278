#include "mail/message_builder.h"

#include <strings.h>

#include <algorithm>
#include <cctype>

#include "mail/addresses.h"
#include "mail/charset.h"
#include "mail/content_walker.h"
#include "mail/dates.h"
#include "mail/encoded_words.h"
#include "mail/header_access.h"
#include "mail/html_text.h"
#include "mail/importance.h"
#include "mail/subject.h"
#include "mail/tags.h"
#include "mail/transfer_decoding.h"

namespace mail {
namespace {

using pst::Property;
using pst::messaging::MessageContent;
using namespace tags;

std::string trimmed(std::string s) {
  const size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  const size_t end = s.find_last_not_of(" \t");
  return s.substr(begin, end - begin + 1);
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

template <typename T>
const T* valueOf(const MessageContent& message, pst::PropTag tag) {
  for (const Property& p : message.props)
    if (p.tag == tag) return std::get_if<T>(&p.value);
  return nullptr;
}

// Outlook gives every message a conversation index: 0x01 and the next five bytes of the time
// (the FILETIME's top six bytes, whose first is 0x01 in these centuries), then a GUID. Mail
// without Thread-Index gets one from its submit time and a GUID hashed from its conversation
// topic, so that the mail of one topic shares one conversation.
void addConversationIndex(MessageContent& message) {
  if (valueOf<pst::Bytes>(message, PidTagConversationIndex)) return;
  const uint64_t* time = valueOf<uint64_t>(message, PidTagClientSubmitTime);
  const std::string* topic = valueOf<std::string>(message, PidTagConversationTopic);
  pst::Bytes index(6, 0);
  index[0] = 0x01;
  for (int i = 1; i < 6; ++i) index[i] = static_cast<uint8_t>((time ? *time : 0) >> (8 * (7 - i)));
  pst::Bytes guid(16, 0);
  gsize size = guid.size();
  const std::string key = lower(topic ? *topic : std::string());
  GChecksum* md5 = g_checksum_new(G_CHECKSUM_MD5);
  g_checksum_update(md5, reinterpret_cast<const guchar*>(key.data()), static_cast<gssize>(key.size()));
  g_checksum_get_digest(md5, guid.data(), &size);
  g_checksum_free(md5);
  index.insert(index.end(), guid.begin(), guid.end());
  message.props.push_back({PidTagConversationIndex, std::move(index)});
}

std::vector<Mailbox> addressesOf(GMimeObject* object, const char* name, const std::string& likelyCharset) {
  std::vector<Mailbox> all;
  for (const std::string& raw : rawHeaders(object, name)) {
    auto some = parseAddressList(raw, likelyCharset);
    all.insert(all.end(), some.begin(), some.end());
  }
  return all;
}

std::string joinNames(const std::vector<Mailbox>& mailboxes, std::string_view separator) {
  std::string out;
  for (const Mailbox& mailbox : mailboxes) {
    if (!out.empty()) out += separator;
    out += mailbox.name;
  }
  return out;
}

void addSenders(GMimeObject* object, const std::string& hint, MessageContent& message) {
  std::vector<Mailbox> from = addressesOf(object, "From", hint);
  std::vector<Mailbox> sender = addressesOf(object, "Sender", hint);
  if (from.empty() && sender.empty()) {
    // Mail without From still came from somewhere: the envelope sender says where.
    for (const char* header : {"Return-Path", "X-Envelope-From"}) {
      for (Mailbox& mailbox : addressesOf(object, header, hint)) {
        if (!mailbox.address.empty()) {
          from.push_back(std::move(mailbox));
          break;
        }
      }
      if (!from.empty()) break;
    }
  }
  if (from.empty()) from = sender;
  if (sender.empty()) sender = from;
  if (!from.empty()) {
    auto props = senderProperties(from.front(), AddressGroup::SentRepresenting);
    message.props.insert(message.props.end(), props.begin(), props.end());
  }
  if (!sender.empty()) {
    auto props = senderProperties(sender.front(), AddressGroup::Sender);
    message.props.insert(message.props.end(), props.begin(), props.end());
  }
  std::vector<Mailbox> replyTo = addressesOf(object, "Reply-To", hint);
  if (!replyTo.empty()) {
    message.props.push_back({PidTagReplyRecipientNames, joinNames(replyTo, ";")});
    message.props.push_back({PidTagReplyRecipientEntries, flatEntryList(replyTo)});
  }
}

// The mailbox the message was delivered to, as the server recorded it, lower case.
std::vector<std::string> ownerAddresses(GMimeObject* object) {
  std::vector<std::string> owners;
  for (const char* header : {"X-MDaemon-Deliver-To", "Delivered-To"})
    for (const Mailbox& mailbox : addressesOf(object, header, {}))
      if (!mailbox.address.empty()) owners.push_back(lower(mailbox.address));
  return owners;
}

void addRecipients(GMimeObject* object, const std::string& hint, MessageContent& message) {
  const std::vector<std::string> owners = ownerAddresses(object);
  bool toMe = false, ccMe = false;
  const struct {
    const char* header;
    int32_t type;
    PropTag display;
  } kinds[] = {{"To", kRecipientTo, PidTagDisplayTo}, {"Cc", kRecipientCc, PidTagDisplayCc}, {"Bcc", kRecipientBcc, PidTagDisplayBcc}};
  for (const auto& kind : kinds) {
    const std::vector<Mailbox> mailboxes = addressesOf(object, kind.header, hint);
    for (const Mailbox& mailbox : mailboxes) {
      message.recipients.push_back(recipientRow(mailbox, kind.type));
      const bool owner = std::find(owners.begin(), owners.end(), lower(mailbox.address)) != owners.end();
      toMe |= owner && kind.type == kRecipientTo;
      ccMe |= owner && kind.type == kRecipientCc;
    }
    // Outlook writes an empty To line but leaves out empty Cc and Bcc lines.
    if (kind.type == kRecipientTo || !mailboxes.empty()) message.props.push_back({kind.display, joinNames(mailboxes, "; ")});
  }
  message.props.push_back({PidTagMessageToMe, int32_t{toMe}});
  message.props.push_back({PidTagMessageCcMe, int32_t{ccMe}});
}

void addSubject(GMimeObject* object, const std::string& hint, MessageContent& message) {
  const std::string subject = headerText(object, "Subject", hint);
  const SubjectParts parts = splitSubject(subject);
  message.props.push_back({PidTagSubject, subject});
  if (!parts.prefix.empty()) message.props.push_back({PidTagSubjectPrefix, parts.prefix});
  std::string topic = headerText(object, "Thread-Topic", hint);
  message.props.push_back({PidTagConversationTopic, topic.empty() ? parts.normalized : topic});
  if (auto index = rawHeader(object, "Thread-Index")) {
    const std::string bytes = decodeBase64Text(unfoldHeader(*index));
    if (!bytes.empty()) message.props.push_back({PidTagConversationIndex, pst::Bytes(bytes.begin(), bytes.end())});
  }
}

void addDates(GMimeObject* object, uint64_t fallbackTime, MessageContent& message) {
  std::optional<uint64_t> delivered;
  if (auto arrival = rawHeader(object, "X-MDArrival-Date")) delivered = parseMailDate(*arrival);
  if (!delivered) {
    // The topmost Received line is the one our own server added on arrival.
    for (const std::string& received : rawHeaders(object, "Received")) {
      if ((delivered = parseReceivedDate(received))) break;
    }
  }
  std::optional<uint64_t> sent;
  if (auto date = rawHeader(object, "Date")) sent = parseMailDate(*date);
  const uint64_t submit = sent ? *sent : delivered ? *delivered : fallbackTime;
  message.props.push_back({PidTagClientSubmitTime, submit});
  message.props.push_back({PidTagMessageDeliveryTime, delivered ? *delivered : submit});
}

void addIdentifiers(GMimeObject* object, MessageContent& message) {
  const struct {
    const char* header;
    PropTag tag;
  } copies[] = {{"Message-ID", PidTagInternetMessageId},
                {"In-Reply-To", PidTagInReplyToId},
                {"References", PidTagInternetReferences},
                {"List-Help", PidTagListHelp},
                {"List-Subscribe", PidTagListSubscribe},
                {"List-Unsubscribe", PidTagListUnsubscribe}};
  for (const auto& copy : copies) {
    if (auto raw = rawHeader(object, copy.header)) {
      std::string value = trimmed(decodeUndeclared(unfoldHeader(*raw)));
      if (!value.empty()) message.props.push_back({copy.tag, std::move(value)});
    }
  }
}

void addBody(const MessageBody& body, MessageContent& message) {
  int codePage = 0;
  if (body.html) {
    std::string charset = body.htmlCharset;
    if (charset.empty()) {
      charset = htmlDeclaredCharset(std::string_view(reinterpret_cast<const char*>(body.html->data()), body.html->size()));
    }
    codePage = codePageForCharset(charset);
    pst::Bytes html = *body.html;
    const std::string_view htmlBytes(reinterpret_cast<const char*>(html.data()), html.size());
    if (codePage != 65001 && decodeDeclared(htmlBytes, charset) == htmlBytes && !isAscii(htmlBytes)) {
      // The bytes are UTF-8 whatever the label says (see decodeDeclared): say so.
      charset = "utf-8";
      codePage = 65001;
    }
    if (codePage == 0) {
      // Undeclared or unknown charset: store the HTML as UTF-8 so its code page is certain.
      const std::string text = decodeDeclared(std::string_view(reinterpret_cast<const char*>(html.data()), html.size()), charset);
      html.assign(text.begin(), text.end());
      codePage = 65001;
    }
    std::string plain;
    if (body.plain) {
      plain = *body.plain;
    } else {
      plain = htmlToText(decodeDeclared(std::string_view(reinterpret_cast<const char*>(html.data()), html.size()),
                                        codePage == 65001 ? "utf-8" : charset));
    }
    message.props.push_back({PidTagBody, std::move(plain)});
    message.props.push_back({PidTagHtml, std::move(html)});
  } else if (body.plain) {
    codePage = codePageForCharset(body.plainCharset);
    message.props.push_back({PidTagBody, *body.plain});
  }
  message.props.push_back({PidTagInternetCodepage, codePage != 0 ? codePage : 65001});
}

std::string charsetHint(const MessageBody& body) {
  for (const std::string& charset : {body.htmlCharset, body.plainCharset}) {
    const int codePage = codePageForCharset(charset);
    if (!charset.empty() && codePage != 65001 && codePage != 20127) return charset;
  }
  return {};
}

}  // namespace

MessageContent buildMessage(GMimeMessage* gmessage, uint64_t fallbackTime, int depth) {
  MessageContent message;
  GMimeObject* object = GMIME_OBJECT(gmessage);
  WalkedContent content = walkContent(g_mime_message_get_mime_part(gmessage), fallbackTime, depth);

  message.props.push_back({PidTagMessageClass, std::string(content.encrypted ? "IPM.Note.SMIME" : "IPM.Note")});
  const int32_t flags = kMessageFlagRead | (content.attachments.empty() ? 0 : kMessageFlagHasAttach);
  message.props.push_back({PidTagMessageFlags, flags});
  // Raw 8-bit header text is most likely in the charset the body declares.
  const std::string hint = charsetHint(content.body);
  addSubject(object, hint, message);
  addSenders(object, hint, message);
  addRecipients(object, hint, message);
  addDates(object, fallbackTime, message);
  addConversationIndex(message);
  addIdentifiers(object, message);
  const MessageMarks marks = readMarks(object);
  message.props.push_back({PidTagImportance, marks.importance});
  message.props.push_back({PidTagPriority, marks.priority});
  message.props.push_back({PidTagSensitivity, marks.sensitivity});
  message.props.push_back({PidTagTransportMessageHeaders, headerBlockText(object, hint)});
  addBody(content.body, message);
  message.attachments = std::move(content.attachments);
  return message;
}

}  // namespace mail
