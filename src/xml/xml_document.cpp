// XmlDocument's own interface: load, parse, create, reset and save.

#include "toolsapi/no_throw.h"
#include "xml/xml_impl.h"

#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/toolsapi/codecs.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

using XmlNode = XmlDocument::XmlNode;
using Impl = XmlDocument::Impl;
using TagName = XmlNode::TagName;
using ChildList = XmlNode::ChildList;
using qm::xml::Pool;

XmlDocument::XmlDocument()
    : store_(std::make_unique<Store>()), root_(XmlNode::Internal{}, this, store_->Find({}), 0) {}

XmlDocument::XmlDocument(const XmlNode& node) : XmlDocument() {
    // Out of memory leaves the document empty: the tag is set only once it is interned, and
    // the copy of the subtree takes all or nothing.
    qm::detail::NoThrow([&] {
        root_.tag_ = store_->Intern(node.TagUtf8(), false);
        root_ = node;
    });
}

XmlDocument::~XmlDocument() = default;

bool XmlDocument::Load(const wchar_t* path) noexcept {
    Reset();
    qm::xml::ParseFailure& failure = store_->failure;
    failure = {};
    bool ok = qm::detail::NoThrow(false, [&] {
        fileName_ = QMWideString(path);
        qm::platform::UniqueFd fd =
            qm::platform::OpenRegularFile(qm::platform::NativePath(fileName_.c_str()));
        if (!fd) {
            failure.message = std::strerror(errno);
            return false;
        }
        return qm::xml::ParseFile(*this, failure, fd.Get());
    });
    if (!ok && failure.message.empty()) {
        failure.message = "out of memory";
    }
    return ok;
}

bool XmlDocument::Parse(const char* utf8Text) noexcept {
    return Parse(utf8Text, utf8Text ? std::strlen(utf8Text) : 0);
}

bool XmlDocument::Parse(const char* utf8Text, size_t length) noexcept {
    if (!utf8Text) {
        Reset();
        store_->failure = {0, 0, "no text"};
        return false;
    }
    return qm::xml::ParseText(*this, store_->failure, utf8Text, length);
}

std::string qm::XmlLoadFailure(std::string_view file, const XmlDocument& document) {
    std::string text(file);
    text += ':';
    if (document.ErrorLine() > 0) {
        text += std::to_string(document.ErrorLine()) + ":" +
                std::to_string(document.ErrorColumn()) + ":";
    }
    return text + " " + std::string(document.ErrorMessage());
}

int XmlDocument::ErrorLine() const noexcept {
    return store_->failure.line;
}

int XmlDocument::ErrorColumn() const noexcept {
    return store_->failure.column;
}

std::string_view XmlDocument::ErrorMessage() const noexcept {
    return store_->failure.message;
}

bool XmlDocument::IsOK() const noexcept {
    return root_.tag_->length > 0;
}

bool XmlDocument::Create(const wchar_t* rootTag) noexcept {
    Reset();
    return qm::detail::NoThrow(false, [&] {
        root_.tag_ = store_->Intern(qm::Utf8(rootTag), false);
        return IsOK();
    });
}

void XmlDocument::Reset() noexcept {
    store_->tree.Clear();
    root_.tag_ = store_->Find({});
    root_.value_ = {};
    root_.up_ = Impl::kInside;
    root_.children_ = nullptr;
}

XmlNode& XmlDocument::Root() noexcept {
    return root_;
}

const XmlNode& XmlDocument::Root() const noexcept {
    return root_;
}

XmlNode* XmlDocument::Node(const wchar_t* path) noexcept {
    return root_.Node(path);
}

const XmlNode* XmlDocument::Node(const wchar_t* path) const noexcept {
    return root_.Node(path);
}

void XmlDocument::SetFileName(const wchar_t* path) noexcept {
    qm::detail::NoThrow([&] { fileName_ = QMWideString(path); });
}

const QMWideString& XmlDocument::FileName() const noexcept {
    return fileName_;
}

bool XmlDocument::Save() noexcept {
    return SaveAs(fileName_.c_str());
}

bool XmlDocument::SaveAs(const wchar_t* path) noexcept {
    if (!path || !*path) {
        return false;
    }
    return qm::detail::NoThrow(false, [&] {
        QMNarrowString text;
        if (!CreateXmlCode(text, true)) {
            return false;
        }
        QMWideString target(path);
        if (!qm::platform::WriteFileAtomic(qm::platform::NativePath(target.c_str()), text.view())) {
            return false;
        }
        fileName_ = std::move(target);
        return true;
    });
}

bool XmlDocument::CreateXmlCode(QMNarrowString& out, bool declaration) const noexcept {
    if (!IsOK()) {
        return false;
    }
    return qm::detail::NoThrow(false, [&] {
        std::string text;
        if (declaration) {
            text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        }
        if (!Impl::Write(root_, text)) {
            return false;
        }
        out = QMNarrowString(std::move(text));
        return true;
    });
}
