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

// The first mailbox of the fields of that name; with `withAddress`, the first that has one.
std::optional<Mailbox> firstMailbox(const HeaderFields& fields, const char* name, const std::string& hint,
                                    bool withAddress = false) {
  std::optional<Mailbox> found;
  for (std::string_view raw : fields.all(name)) {
    forEachMailbox(raw, hint, [&](Mailbox&& mailbox) {
      if (withAddress && mailbox.address.empty()) return true;
      found = std::move(mailbox);
      return false;
    });
    if (found) break;
  }
  return found;
}

void addSenders(const HeaderFields& fields, const std::string& hint, MessageContent& message) {
  std::optional<Mailbox> from = firstMailbox(fields, "From", hint);
  std::optional<Mailbox> sender = firstMailbox(fields, "Sender", hint);
  if (!from && !sender) {
    // Mail without From still came from somewhere: the envelope sender says where.
    for (const char* header : {"Return-Path", "X-Envelope-From"}) {
      if ((from = firstMailbox(fields, header, hint, /*withAddress=*/true))) break;
    }
  }
  if (!from) from = sender;
  if (!sender) sender = from;
  if (from) {
    auto props = senderProperties(*from, AddressGroup::SentRepresenting);
    message.props.insert(message.props.end(), props.begin(), props.end());
  }
  if (sender) {
    auto props = senderProperties(*sender, AddressGroup::Sender);
    message.props.insert(message.props.end(), props.begin(), props.end());
  }
  std::vector<Mailbox> replyTo;
  for (std::string_view raw : fields.all("Reply-To")) {
    forEachMailbox(raw, hint, [&](Mailbox&& mailbox) {
      replyTo.push_back(std::move(mailbox));
      return replyTo.size() < kMaxRecipientRows;
    });
  }
  if (!replyTo.empty()) {
    std::string names;
    for (const Mailbox& mailbox : replyTo) names += (names.empty() ? "" : ";") + mailbox.name;
    message.props.push_back({PidTagReplyRecipientNames, std::move(names)});
    message.props.push_back({PidTagReplyRecipientEntries, flatEntryList(replyTo)});
  }
}

// The mailboxes the message was delivered to, as the server recorded them, lower case.
std::vector<std::string> ownerAddresses(const HeaderFields& fields) {
  std::vector<std::string> owners;
  for (const char* header : {"X-MDaemon-Deliver-To", "Delivered-To"}) {
    for (std::string_view raw : fields.all(header)) {
      forEachMailbox(raw, {}, [&](Mailbox&& mailbox) {
        if (!mailbox.address.empty()) owners.push_back(lower(mailbox.address));
        return owners.size() < kMaxRecipientRows;
      });
    }
  }
  return owners;
}

void addRecipients(const HeaderFields& fields, const std::string& hint, MessageContent& message) {
  const std::vector<std::string> owners = ownerAddresses(fields);
  bool toMe = false, ccMe = false;
  const struct {
    const char* header;
    int32_t type;
    PropTag display;
  } kinds[] = {{"To", kRecipientTo, PidTagDisplayTo}, {"Cc", kRecipientCc, PidTagDisplayCc}, {"Bcc", kRecipientBcc, PidTagDisplayBcc}};
  for (const auto& kind : kinds) {
    const std::vector<std::string_view> values = fields.all(kind.header);
    // The names take about as much room as the fields: reserved once, not doubled as it grows.
    size_t rawSize = 0;
    for (std::string_view raw : values) rawSize += raw.size();
    std::string display;
    display.reserve(rawSize);
    bool any = false;
    for (std::string_view raw : values) {
      forEachMailbox(raw, hint, [&](Mailbox&& mailbox) {
        any = true;
        if (message.recipients.size() < kMaxRecipientRows) {
          message.recipients.push_back(recipientRow(mailbox, kind.type));
        }
        if (!owners.empty()) {
          const bool owner = std::find(owners.begin(), owners.end(), lower(mailbox.address)) != owners.end();
          toMe |= owner && kind.type == kRecipientTo;
          ccMe |= owner && kind.type == kRecipientCc;
        }
        if (!display.empty()) display += "; ";
        display += mailbox.name;
        return true;
      });
    }
    // Outlook writes an empty To line but leaves out empty Cc and Bcc lines.
    if (kind.type == kRecipientTo || any) message.props.push_back({kind.display, std::move(display)});
  }
  message.props.push_back({PidTagMessageToMe, int32_t{toMe}});
  message.props.push_back({PidTagMessageCcMe, int32_t{ccMe}});
}

void addSubject(const HeaderFields& fields, const std::string& hint, MessageContent& message) {
  std::string subject = headerText(fields, "Subject", hint);
  SubjectParts parts = splitSubject(subject);
  message.props.push_back({PidTagSubject, std::move(subject)});
  if (!parts.prefix.empty()) message.props.push_back({PidTagSubjectPrefix, std::move(parts.prefix)});
  std::string topic = headerText(fields, "Thread-Topic", hint);
  message.props.push_back({PidTagConversationTopic, topic.empty() ? std::move(parts.normalized) : std::move(topic)});
  if (auto index = fields.first("Thread-Index")) {
    const std::string bytes = decodeBase64Text(unfoldHeader(*index));
    if (!bytes.empty()) message.props.push_back({PidTagConversationIndex, pst::Bytes(bytes.begin(), bytes.end())});
  }
}

struct HeaderDates {
  std::optional<uint64_t> delivered, sent;
};

HeaderDates headerDates(const HeaderFields& fields) {
  HeaderDates dates;
  if (auto arrival = fields.first("X-MDArrival-Date")) dates.delivered = parseMailDate(*arrival);
  if (!dates.delivered) {
    // The topmost Received line is the one our own server added on arrival.
    for (std::string_view received : fields.all("Received")) {
      if ((dates.delivered = parseReceivedDate(received))) break;
    }
  }
  if (auto date = fields.first("Date")) dates.sent = parseMailDate(*date);
  return dates;
}

void addDates(const HeaderFields& fields, uint64_t fallbackTime, MessageContent& message) {
  const HeaderDates dates = headerDates(fields);
  const uint64_t submit = dates.sent ? *dates.sent : dates.delivered ? *dates.delivered : fallbackTime;
  message.props.push_back({PidTagClientSubmitTime, submit});
  message.props.push_back({PidTagMessageDeliveryTime, dates.delivered ? *dates.delivered : submit});
}

void addIdentifiers(const HeaderFields& fields, MessageContent& message) {
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
    if (auto raw = fields.first(copy.header)) {
      std::string value = trimmed(decodeUndeclared(unfoldHeader(*raw)));
      if (!value.empty()) message.props.push_back({copy.tag, std::move(value)});
    }
  }
}

// Takes the texts out of `body`: a body of a gigabyte is not copied.
void addBody(MessageBody& body, MessageContent& message) {
  int codePage = 0;
  if (body.html) {
    std::string charset = body.htmlCharset;
    if (charset.empty()) {
      charset = htmlDeclaredCharset(std::string_view(reinterpret_cast<const char*>(body.html->data()), body.html->size()));
    }
    codePage = codePageForCharset(charset);
    pst::Bytes html = std::move(*body.html);
    const std::string_view htmlBytes(reinterpret_cast<const char*>(html.data()), html.size());
    // (Text that decodes to itself is valid UTF-8: that cheap test comes first.)
    if (codePage != 65001 && !isAscii(htmlBytes) && isValidUtf8(htmlBytes) &&
        decodeDeclared(htmlBytes, charset) == htmlBytes) {
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
      plain = std::move(*body.plain);
    } else {
      plain = htmlToText(decodeDeclared(std::string_view(reinterpret_cast<const char*>(html.data()), html.size()),
                                        codePage == 65001 ? "utf-8" : charset));
    }
    message.props.push_back({PidTagBody, std::move(plain)});
    message.props.push_back({PidTagHtml, std::move(html)});
  } else if (body.plain) {
    codePage = codePageForCharset(body.plainCharset);
    message.props.push_back({PidTagBody, std::move(*body.plain)});
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

MessageContent buildMessage(GMimeMessage* gmessage, const HeaderFields& fields, uint64_t fallbackTime, int depth) {
  MessageContent message;
  WalkedContent content = walkContent(gmessage, fallbackTime, depth);

  message.props.push_back({PidTagMessageClass, std::string(content.encrypted ? "IPM.Note.SMIME" : "IPM.Note")});
  const int32_t flags = kMessageFlagRead | (content.attachments.empty() ? 0 : kMessageFlagHasAttach);
  message.props.push_back({PidTagMessageFlags, flags});
  // Raw 8-bit header text is most likely in the charset the body declares.
  const std::string hint = charsetHint(content.body);
  addSubject(fields, hint, message);
  addSenders(fields, hint, message);
  addRecipients(fields, hint, message);
  addDates(fields, fallbackTime, message);
  addConversationIndex(message);
  addIdentifiers(fields, message);
  const MessageMarks marks = readMarks(fields);
  message.props.push_back({PidTagImportance, marks.importance});
  message.props.push_back({PidTagPriority, marks.priority});
  message.props.push_back({PidTagSensitivity, marks.sensitivity});
  message.props.push_back({PidTagTransportMessageHeaders, headerBlockText(fields, hint)});
  addBody(content.body, message);
  message.attachments = std::move(content.attachments);
  return message;
}

bool hasHeaderDate(const HeaderFields& fields) {
  const HeaderDates dates = headerDates(fields);
  return dates.sent || dates.delivered;
}

bool showsNothing(const MessageContent& message, const HeaderFields& fields) {
  if (!message.recipients.empty() || !message.attachments.empty() || hasHeaderDate(fields)) return false;
  auto hasText = [&](PropTag tag) {
    for (const auto& prop : message.props) {
      if (prop.tag != tag) continue;
      const auto* text = std::get_if<std::string>(&prop.value);
      return text && text->find_first_not_of(" \t\r\n") != std::string::npos;
    }
    return false;
  };
  for (PropTag tag : {PidTagSubject, PidTagSentRepresentingName, PidTagSenderName, PidTagBody, PidTagDisplayTo,
                      PidTagDisplayCc, PidTagDisplayBcc}) {
    if (hasText(tag)) return false;
  }
  return true;
}

}  // namespace mail
