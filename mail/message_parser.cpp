#include "mail/message_parser.h"

#include "mail/gmime_session.h"

namespace mail {
namespace {

GMimeParserOptions* messageParserOptions() {
  static GMimeParserOptions* options = [] {
    ensureGMimeInitialised();
    GMimeParserOptions* o = g_mime_parser_options_new();
    static const char* fallback[] = {"UTF-8", "windows-1252", nullptr};
    g_mime_parser_options_set_fallback_charsets(o, fallback);
    g_mime_parser_options_set_address_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_parameter_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_rfc2047_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_allow_addresses_without_domain(o, TRUE);
    return o;
  }();
  return options;
}

}  // namespace

GMimeMessage* parseMessageStream(GMimeStream* stream) {
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  g_mime_parser_set_format(parser, GMIME_FORMAT_MESSAGE);
  GMimeMessage* message = g_mime_parser_construct_message(parser, messageParserOptions());
  g_object_unref(parser);
  return message;
}

GMimeMessage* parseMessageBytes(const pst::Bytes& bytes) {
  ensureGMimeInitialised();
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  GMimeMessage* message = parseMessageStream(stream);
  g_object_unref(stream);
  return message;
}

}  // namespace mail
