// Reads every message file given (or every file under a given folder) with
// GMime and prints one line per message: its path, its number of MIME parts, a
// hash of its decoded text parts, its From and its Subject (or "unparsed"),
// then a count.
// Built natively and for Windows, the two outputs must be identical: that shows
// the cross-built GMime, GLib and iconv decode headers and charsets as Linux does.
#include <gmime/gmime.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace fs = std::filesystem;

namespace {

struct Summary {
    int parts = 0;
    std::uint64_t text_hash = 1469598103934665603ULL;  // FNV-1a over decoded text
};

void add_part(GMimeObject *, GMimeObject *part, gpointer data) {
    auto *summary = static_cast<Summary *>(data);
    ++summary->parts;
    if (!GMIME_IS_TEXT_PART(part)) return;
    char *text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
    if (!text) return;
    for (const char *c = text; *c; ++c) {
        summary->text_hash ^= static_cast<unsigned char>(*c);
        summary->text_hash *= 1099511628211ULL;
    }
    g_free(text);
}

// Keeps one message on one line of the report.
std::string one_line(const char *text) {
    std::string out = text ? text : "";
    std::replace_if(out.begin(), out.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    return out;
}

enum class Outcome { parsed, unparsed, unreadable };

Outcome print_message(const fs::path &file, const std::string &shown) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
        std::printf("%s\tunreadable\n", shown.c_str());
        return Outcome::unreadable;
    }
    GMimeStream *stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
    GMimeParser *parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage *message = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    g_object_unref(stream);
    if (!message) {
        std::printf("%s\tunparsed\n", shown.c_str());
        return Outcome::unparsed;
    }
    Summary summary;
    g_mime_message_foreach(message, add_part, &summary);
    char *from = internet_address_list_to_string(g_mime_message_get_from(message), nullptr, FALSE);
    std::printf("%s\t%d\t%016llx\t%s\t%s\n", shown.c_str(), summary.parts,
                static_cast<unsigned long long>(summary.text_hash), one_line(from).c_str(),
                one_line(g_mime_message_get_subject(message)).c_str());
    g_free(from);
    g_object_unref(message);
    return Outcome::parsed;
}

}  // namespace

int main(int argc, char **argv) {
#ifdef _WIN32
    // The same bytes as on Linux: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (argc < 2) {
        std::fprintf(stderr, "usage: gmime_smoke FILE_OR_FOLDER...\n");
        return 2;
    }
    // (path to read, path to print): a folder's files are named relative to it,
    // in a fixed order, so that both builds print the same lines.
    std::vector<std::pair<fs::path, std::string>> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        if (!fs::is_directory(arg)) {
            files.emplace_back(arg, arg.filename().generic_string());
            continue;
        }
        for (const auto &entry : fs::recursive_directory_iterator(arg))
            if (entry.is_regular_file() && entry.path().extension() == ".msg")
                files.emplace_back(entry.path(), fs::relative(entry.path(), arg).generic_string());
    }
    std::sort(files.begin(), files.end(), [](const auto &a, const auto &b) { return a.second < b.second; });

    g_mime_init();
    int parsed = 0, unreadable = 0;
    for (const auto &[path, shown] : files) {
        const Outcome outcome = print_message(path, shown);
        parsed += outcome == Outcome::parsed;
        unreadable += outcome == Outcome::unreadable;
    }
    std::printf("parsed %d of %zu messages\n", parsed, files.size());
    g_mime_shutdown();
    // Files GMime does not take for a message are part of the comparison;
    // a file that cannot be read is a fault of the run.
    return unreadable == 0 && !files.empty() ? 0 : 1;
}
