// XmlDocument's own interface: load, parse, create, reset and save.

#include "xml/xml_impl.h"

#include <qmsupport/platform/file_ops.h>
#include <qmsupport/platform/native_path.h>
#include <qmsupport/toolsapi/codecs.h>

#include <unistd.h>

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
    try {
        root_.tag_ = store_->Intern(node.TagUtf8(), false);
        root_ = node;
    } catch (const std::exception&) {
        Reset();
    }
}

XmlDocument::~XmlDocument() = default;

bool XmlDocument::Load(const wchar_t* path) {
    Reset();
    qm::xml::ParseFailure& failure = store_->failure;
    failure = {};
    try {
        fileName_ = QMWideString(path);
        std::string native = qm::platform::NativePath(fileName_.c_str());
        int fd = qm::platform::OpenRegularFile(native);
        if (fd < 0) {
            failure.message = std::strerror(errno);
            return false;
        }
        bool ok = qm::xml::ParseFile(*this, failure, fd);
        ::close(fd);
        return ok;
    } catch (const std::exception&) {
        Reset();
        failure.message = "out of memory";
        return false;
    }
}

bool XmlDocument::Parse(const char* utf8Text) {
    return Parse(utf8Text, utf8Text ? std::strlen(utf8Text) : 0);
}

bool XmlDocument::Parse(const char* utf8Text, size_t length) {
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

int XmlDocument::ErrorLine() const {
    return store_->failure.line;
}

int XmlDocument::ErrorColumn() const {
    return store_->failure.column;
}

std::string_view XmlDocument::ErrorMessage() const {
    return store_->failure.message;
}

bool XmlDocument::IsOK() const {
    return root_.tag_->length > 0;
}

bool XmlDocument::Create(const wchar_t* rootTag) {
    Reset();
    try {
        root_.tag_ = store_->Intern(qm::Utf8(rootTag), false);
    } catch (const std::exception&) {
        return false;
    }
    return IsOK();
}

void XmlDocument::Reset() {
    store_->tree.Clear();
    root_.tag_ = store_->Find({});
    root_.value_ = {};
    root_.up_ = Impl::kInside;
    root_.children_ = nullptr;
}

XmlNode& XmlDocument::Root() {
    return root_;
}

const XmlNode& XmlDocument::Root() const {
    return root_;
}

XmlNode* XmlDocument::Node(const wchar_t* path) {
    return root_.Node(path);
}

const XmlNode* XmlDocument::Node(const wchar_t* path) const {
    return root_.Node(path);
}

void XmlDocument::SetFileName(const wchar_t* path) {
    fileName_ = QMWideString(path);
}

const QMWideString& XmlDocument::FileName() const {
    return fileName_;
}

bool XmlDocument::Save() {
    return SaveAs(fileName_.c_str());
}

bool XmlDocument::SaveAs(const wchar_t* path) {
    if (!path || !*path) {
        return false;
    }
    try {
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
    } catch (const std::exception&) {
        return false;
    }
}

bool XmlDocument::CreateXmlCode(QMNarrowString& out, bool declaration) const {
    if (!IsOK()) {
        return false;
    }
    try {
        std::string text;
        if (declaration) {
            text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        }
        if (!Impl::Write(root_, text)) {
            return false;
        }
        out = QMNarrowString(std::move(text));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
