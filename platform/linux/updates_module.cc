// halvyn-updates: what only an update needs: its archive's digest and signature (OpenSSL), its
// unpacking (libarchive) and its release notes (cmark-gfm).

#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm.h>

#include <cstdlib>
#include <memory>

#include "platform/linux/archive_unpacker.h"
#include "platform/linux/modules.h"
#include "platform/linux/openssl_verifier.h"

using namespace halvyn;

HALVYN_MODULE_EXPORT ArchiveVerifier* halvyn_make_verifier(MainQueue& main) { return new OpenSslVerifier(main); }

HALVYN_MODULE_EXPORT FileResult halvyn_unpack_archive(const std::string& archive, const std::string& destination,
                                                      const UnpackRules& rules) {
    return unpackArchive(archive, destination, rules);
}

HALVYN_MODULE_EXPORT void halvyn_render_markdown(std::string_view markdown, std::string& html) {
    // The GitHub flavour: strike-through, autolinks and tables. Raw HTML is left out and unsafe
    // link schemes are dropped, as cmark-gfm does unless told otherwise.
    cmark_gfm_core_extensions_ensure_registered();
    std::unique_ptr<cmark_parser, void (*)(cmark_parser*)> parser(cmark_parser_new(CMARK_OPT_DEFAULT),
                                                                  cmark_parser_free);
    for (const char* name : {"strikethrough", "autolink", "table"})
        if (cmark_syntax_extension* ext = cmark_find_syntax_extension(name))
            cmark_parser_attach_syntax_extension(parser.get(), ext);
    cmark_parser_feed(parser.get(), markdown.data(), markdown.size());
    cmark_node* doc = cmark_parser_finish(parser.get());
    html.clear();
    if (!doc) return;
    char* out = cmark_render_html(doc, CMARK_OPT_DEFAULT, cmark_parser_get_syntax_extensions(parser.get()));
    if (out) html = out;
    std::free(out);
    cmark_node_free(doc);
}
