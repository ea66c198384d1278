#include "mail/addresses.h"

#include <gmime/gmime.h>

#include <memory>

#include "mail/charset.h"
#include "mail/encoded_words.h"
#include "mail/gmime_session.h"
#include "mail/header_guard.h"
#include "mail/one_off_entry_id.h"
#include "mail/tags.h"

namespace mail {
namespace {

constexpr std::string_view kSmtp = "SMTP";

struct OptionsDeleter {
  void operator()(GMimeParserOptions* options) const { g_mime_parser_options_free(options); }
};
using ParserOptions = std::unique_ptr<GMimeParserOptions, OptionsDeleter>;

ParserOptions addressParserOptions(const std::string& likelyCharset) {
  ensureGMimeInitialised();
  ParserOptions options(g_mime_parser_options_new());
  const char* fallback[] = {"UTF-8", likelyCharset.empty() ? "windows-1252" : likelyCharset.c_str(), "windows-1252",
                            nullptr};
  g_mime_parser_options_set_fallback_charsets(options.get(), fallback);
  g_mime_parser_options_set_address_compliance_mode(options.get(), GMIME_RFC_COMPLIANCE_LOOSE);
  g_mime_parser_options_set_rfc2047_compliance_mode(options.get(), GMIME_RFC_COMPLIANCE_LOOSE);
  g_mime_parser_options_set_allow_addresses_without_domain(options.get(), TRUE);
  return options;
}

// Lists longer than this are parsed one top-level entry at a time.
constexpr size_t kWholeListParse = 65536;

// Returns false once `take` asked to stop.
bool collect(InternetAddressList* list, const std::function<bool(Mailbox&&)>& take, bool& any, int depth) {
  if (!list || depth > 8) return true;
  const int count = internet_address_list_length(list);
  for (int i = 0; i < count; ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(address)) {
      if (!collect(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), take, any, depth + 1)) {
        return false;
      }
      continue;
    }
    if (!INTERNET_ADDRESS_IS_MAILBOX(address)) continue;
    Mailbox mailbox;
    const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
    const char* name = internet_address_get_name(address);
    mailbox.address = addr ? addr : "";
    mailbox.name = name ? name : "";
    if (!isValidUtf8(mailbox.name)) mailbox.name = decodeUndeclared(mailbox.name);
    if (!isValidUtf8(mailbox.address)) mailbox.address = decodeUndeclared(mailbox.address);
    if (mailbox.name.empty()) mailbox.name = mailbox.address;
    if (mailbox.name.empty()) continue;
    any = true;
    if (!take(std::move(mailbox))) return false;
  }
  return true;
}

// Where the top-level entry that starts at `begin` ends: at the next comma outside quoted
// strings, comments, angle brackets and groups, or at the end.
size_t entryEnd(const std::string& list, size_t begin) {
  bool quoted = false;
  bool angle = false;
  int comments = 0, groups = 0;
  for (size_t i = begin; i < list.size(); ++i) {
    const char c = list[i];
    if ((quoted || comments > 0) && c == '\\') {
      ++i;
    } else if (quoted) {
      quoted = c != '"';
    } else if (c == '(') {
      ++comments;
    } else if (c == ')' && comments > 0) {
      --comments;
    } else if (comments > 0) {
    } else if (c == '"') {
      quoted = true;
    } else if (c == '<') {
      angle = true;
    } else if (c == '>') {
      angle = false;
    } else if (angle) {
    } else if (c == ':') {
      ++groups;
    } else if (c == ';' && groups > 0) {
      --groups;
    } else if (c == ',' && groups == 0) {
      return i;
    }
  }
  return list.size();
}

}  // namespace

void forEachMailbox(std::string_view rawValue, std::string_view likelyCharset,
                    const std::function<bool(Mailbox&&)>& take) {
  // GMime 3.2.13 decodes folded multi-word base64 names wrongly; hand it decoded names.
  std::string value = withoutStrayEncodedWordStarts(decodeEncodedWordsInPhrases(rawValue));
  boundAddressNesting(value);
  ParserOptions options = addressParserOptions(std::string(likelyCharset));
  bool any = false;
  auto parse = [&](const char* text) {
    InternetAddressList* list = internet_address_list_parse(options.get(), text);
    const bool more = collect(list, take, any, 0);
    if (list) g_object_unref(list);
    return more;
  };
  if (value.size() <= kWholeListParse) {
    if (!parse(value.c_str())) return;
  } else {
    for (size_t begin = 0; begin < value.size();) {
      const size_t end = entryEnd(value, begin);
      if (!parse(value.substr(begin, end - begin).c_str())) return;
      begin = end + 1;
    }
  }
  if (!any) {
    // A header with text but nothing GMime reads as an address (a bare name): keep the name.
    const std::string text = decodeHeaderText(rawValue, likelyCharset);
    std::string withoutComments;
    int nesting = 0;
    for (char c : text) {
      if (c == '(') ++nesting;
      if (nesting == 0 && c != ' ' && c != '\t') withoutComments.push_back(c);
      if (c == ')' && nesting > 0) --nesting;
    }
    // An empty group ("undisclosed-recipients:;") names nobody.
    const bool emptyGroup = !withoutComments.empty() && withoutComments.back() == ';' &&
                            withoutComments.find(':') != std::string::npos;
    if (!withoutComments.empty() && !emptyGroup) take({text, ""});
  }
}

std::vector<Mailbox> parseAddressList(std::string_view rawValue, std::string_view likelyCharset) {
  std::vector<Mailbox> out;
  forEachMailbox(rawValue, likelyCharset, [&](Mailbox&& mailbox) {
    out.push_back(std::move(mailbox));
    return true;
  });
  return out;
}

std::vector<pst::Property> senderProperties(const Mailbox& mailbox, AddressGroup group) {
  using namespace tags;
  const bool sent = group == AddressGroup::SentRepresenting;
  std::vector<pst::Property> props;
  props.push_back({sent ? PidTagSentRepresentingName : PidTagSenderName, mailbox.name});
  props.push_back({sent ? PidTagSentRepresentingAddressType : PidTagSenderAddressType, std::string(kSmtp)});
  props.push_back({sent ? PidTagSentRepresentingEmailAddress : PidTagSenderEmailAddress, mailbox.address});
  props.push_back({sent ? PidTagSentRepresentingEntryId : PidTagSenderEntryId,
                   oneOffEntryId(mailbox.name, kSmtp, mailbox.address)});
  props.push_back({sent ? PidTagSentRepresentingSearchKey : PidTagSenderSearchKey,
                   addressSearchKey(kSmtp, mailbox.address)});
  props.push_back({sent ? PidTagSentRepresentingSmtpAddress : PidTagSenderSmtpAddress, mailbox.address});
  return props;
}

std::vector<pst::Property> recipientRow(const Mailbox& mailbox, int32_t recipientType) {
  using namespace tags;
  const pst::Bytes entryId = oneOffEntryId(mailbox.name, kSmtp, mailbox.address);
  return {
      {PidTagRecipientType, recipientType},
      {PidTagDisplayName, mailbox.name},
      {PidTagAddressType, std::string(kSmtp)},
      {PidTagEmailAddress, mailbox.address},
      {PidTagSmtpAddress, mailbox.address},
      {PidTagEntryId, entryId},
      {PidTagRecipientEntryId, entryId},
      {PidTagSearchKey, addressSearchKey(kSmtp, mailbox.address)},
      {PidTagRecipientDisplayName, mailbox.name},
      {PidTagDisplayType, kDisplayTypeMailUser},
      {PidTagObjectType, kObjectTypeMailUser},
      {PidTagRecipientFlags, kRecipientSendable},
      {PidTagSendRichInfo, int32_t{0}},
  };
}

pst::Bytes flatEntryList(const std::vector<Mailbox>& mailboxes) {
  auto putU32 = [](pst::Bytes& out, uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
  };
  pst::Bytes entries;
  for (const Mailbox& mailbox : mailboxes) {
    const pst::Bytes id = oneOffEntryId(mailbox.name, kSmtp, mailbox.address);
    putU32(entries, static_cast<uint32_t>(id.size()));
    entries.insert(entries.end(), id.begin(), id.end());
    while (entries.size() % 4 != 0) entries.push_back(0);
  }
  pst::Bytes out;
  putU32(out, static_cast<uint32_t>(mailboxes.size()));
  putU32(out, static_cast<uint32_t>(entries.size()));
  out.insert(out.end(), entries.begin(), entries.end());
  return out;
}

}  // namespace mail
