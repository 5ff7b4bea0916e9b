// Any document and any rename pairs: renaming the document in place gives exactly what writing
// it out, renaming in the text by the definition and reading the text back gives.
// The input is the pairs, one "old<TAB>new" per line, then an empty line, then the document.

#include "../tests/common/rename_literal.h"
#include "migrate27/rename_engine.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Every node in order with its kind and value, then the document's text.
std::string Dump(const XmlDocument& doc) {
    std::string dump = doc.IsOK() ? "" : "(not ok)";
    std::vector<const XmlDocument::XmlNode*> stack{&doc.Root()};
    while (!stack.empty()) {
        const XmlDocument::XmlNode* node = stack.back();
        stack.pop_back();
        dump.append(node->TagUtf8()).append(node->IsKey() ? "=" : ":");
        dump.append(node->ValueUtf8()).append("\n");
        const std::vector<const XmlDocument::XmlNode*> children(node->ChildsBegin(),
                                                                node->ChildsEnd());
        stack.insert(stack.end(), children.rbegin(), children.rend());
        dump += "{" + std::to_string(children.size()) + "}";
    }
    QMNarrowString text;
    (void)doc.CreateXmlCode(text, false);
    return dump + text.c_str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<RenamePair> pairs;
    for (size_t end; (end = input.find('\n')) != std::string_view::npos && end != 0;) {
        const std::string_view line = input.substr(0, end);
        const size_t tab = line.find('\t');
        pairs.push_back(
            {QMNarrowString(std::string(line.substr(0, tab))),
             QMNarrowString(tab == std::string_view::npos ? std::string()
                                                          : std::string(line.substr(tab + 1)))});
        input.remove_prefix(end + 1);
    }
    if (input.empty() || pairs.size() > 64) {
        return 0;
    }
    input.remove_prefix(1);
    XmlDocument reference;
    if (!reference.Parse(input.data(), input.size())) {
        return 0;
    }
    // A key after the elements, which the text cannot give back, now and then.
    if (!pairs.empty() && pairs[0].oldName.str().size() % 3 == 1) {
        reference.Root().SetValueUtf8("late", std::string(input.substr(0, 8)));
    }
    XmlDocument actual(reference.Root());
    for (char first : {'.', ']'}) {
        // As in every list a migration makes, no new name holds a delimiter of its pass: an
        // inserted name then ends at most one more old name, and the text cannot multiply
        // from pass to pass (up to memory exhaustion, which the literal algorithm would hit
        // first).
        for (const RenamePair& pair : pairs) {
            if (pair.newName.str().find_first_of(std::string{first, '<'}) != std::string::npos) {
                return 0;
            }
        }
        QMNarrowString written;
        (void)reference.CreateXmlCode(written, false);
        std::string text = written.c_str();
        std::vector<size_t> expectedUses;
        if (qm::migrate27::LiteralApplyRenames(text, pairs, first, '<', &expectedUses)) {
            (void)reference.Parse(text.c_str(), text.size());
        }
        std::vector<size_t> uses(pairs.size());
        (void)qm::migrate27::RenameInDocument(actual, pairs, first, uses);
        expectedUses.resize(pairs.size());
        if (Dump(actual) != Dump(reference) || uses != expectedUses) {
            std::abort();
        }
    }
    return 0;
}
