#include "desktop/windows/installer/service/install_status.h"

#include <windows.h>

#include <msxml2.h>
#include <ole2.h>
#include <shlwapi.h>
#include <stdint.h>
#include <wrl/client.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/adopt_com_ptr.h"
#include "base/win/scoped_bstr.h"
#include "base/win/scoped_variant.h"
#include "desktop/windows/installer/service/msxml_util.h"

namespace installer {

const wchar_t kInstallStatusFileName[] = L"installation_status.xml";

namespace {

using Microsoft::WRL::ComPtr;

// A status file of an installation holds a few thousand entries at most; anything far
// larger is not one of ours and is not handed to the parser.
constexpr int64_t kMaxStatusFileSize = 32 * 1024 * 1024;
// The records are four levels deep; the parser is told to refuse much deeper documents.
constexpr int kMaxElementDepth = 32;

constexpr wchar_t kRootElement[] = L"install_log";
constexpr wchar_t kVersionAttribute[] = L"version";
constexpr wchar_t kFormatVersion[] = L"1";
constexpr wchar_t kCopyOnlyElement[] = L"copy_only";
constexpr wchar_t kAllUsersElement[] = L"all_users";
constexpr wchar_t kPinnedElement[] = L"pinned";
constexpr wchar_t kAppIdElement[] = L"app_id";
constexpr wchar_t kInstallFolderElement[] = L"install_folder";
constexpr wchar_t kSubfolderElement[] = L"subfolder";
constexpr wchar_t kVersionElement[] = L"version";
constexpr wchar_t kDesktopShortcutElement[] = L"desktop_shortcut";
constexpr wchar_t kStartMenuShortcutElement[] = L"start_menu_shortcut";
constexpr wchar_t kQuickLaunchShortcutElement[] = L"quick_launch_shortcut";
constexpr wchar_t kFilesElement[] = L"files";
constexpr wchar_t kRootFilesElement[] = L"root_files";
constexpr wchar_t kFileElement[] = L"file";
constexpr wchar_t kComponentsElement[] = L"components";
constexpr wchar_t kComponentElement[] = L"component";
constexpr wchar_t kNameElement[] = L"name";
constexpr wchar_t kPathElement[] = L"path";
constexpr wchar_t kLocalMachineKeysElement[] = L"hklm_keys";
constexpr wchar_t kCurrentUserKeysElement[] = L"hkcu_keys";
constexpr wchar_t kKeyElement[] = L"key";
constexpr wchar_t kCleanAttribute[] = L"clean";
constexpr wchar_t kValueElement[] = L"value";
constexpr wchar_t kTypeAttribute[] = L"type";
constexpr wchar_t kDataElement[] = L"data";

constexpr char kXmlDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

// XML 1.0 cannot hold control characters other than tab, line feed and carriage return,
// the non-characters U+FFFE and U+FFFF, or unpaired surrogates.
bool IsXmlText(std::wstring_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r')
      return false;
    if (c == 0xFFFE || c == 0xFFFF)
      return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
        return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

// Whether an attribute value is written and read back the same by any MSXML: a parser
// turns tabs and line breaks in attribute values into spaces, and writers disagree on
// escaping '"', '&' and '<' there while output escaping is off (Wine's writes them as they
// are). Neither the writer nor the reader takes a value that holds any of them, so the
// installer never reads a status file that it cannot write back.
bool IsPlainAttributeValue(std::wstring_view value) {
  return IsXmlText(value) && value.find_first_of(L"\t\r\n\"&<") == std::wstring_view::npos;
}

// ---------------------------------------------------------------------------------------
// Reading.

bool IsWhitespaceOnly(std::wstring_view text) {
  for (wchar_t c : text) {
    if (c != L' ' && c != L'\t' && c != L'\r' && c != L'\n')
      return false;
  }
  return true;
}

bool GetNodeName(IXMLDOMNode* node, std::wstring* name) {
  base::win::ScopedBstr bstr;
  if (node->get_nodeName(bstr.Receive()) != S_OK)
    return false;
  name->assign(bstr.View());
  return true;
}

bool GetVariantText(const VARIANT& variant, std::wstring* text) {
  if (V_VT(&variant) != VT_BSTR)
    return false;
  const BSTR bstr = V_BSTR(&variant);
  text->assign(bstr ? std::wstring_view(bstr, ::SysStringLen(bstr)) : std::wstring_view());
  return true;
}

bool GetNodeValue(IXMLDOMNode* node, std::wstring* value) {
  base::win::ScopedVariant variant;
  return node->get_nodeValue(variant.Receive()) == S_OK && GetVariantText(variant.Get(), value);
}

// False when the attribute is missing.
bool GetAttribute(IXMLDOMNode* node, const wchar_t* name, std::wstring* value) {
  ComPtr<IXMLDOMElement> element;
  if (FAILED(node->QueryInterface(kIidXmlDomElement,
                                  reinterpret_cast<void**>(element.GetAddressOf())))) {
    return false;
  }
  base::win::ScopedBstr attribute_name(name);
  base::win::ScopedVariant variant;
  return element->getAttribute(attribute_name.Get(), variant.Receive()) == S_OK &&
         GetVariantText(variant.Get(), value);
}

// Calls visit(child, type) for each child node of |parent| in document order; false as
// soon as a visit fails.
template <typename Visit>
bool ForEachChild(IXMLDOMNode* parent, Visit visit) {
  ComPtr<IXMLDOMNode> child;
  HRESULT hr = parent->get_firstChild(child.GetAddressOf());
  while (hr == S_OK && child) {
    DOMNodeType type;
    if (child->get_nodeType(&type) != S_OK || !visit(child.Get(), type))
      return false;
    ComPtr<IXMLDOMNode> next;
    hr = child->get_nextSibling(next.GetAddressOf());
    child = std::move(next);
  }
  return SUCCEEDED(hr);
}

bool IsIgnorable(DOMNodeType type) {
  return type == NODE_COMMENT || type == NODE_PROCESSING_INSTRUCTION;
}

// Calls visit(child, name) for each child element of |parent| in document order; false
// as soon as a visit fails. Between the elements only whitespace, comments and processing
// instructions may stand.
template <typename Visit>
bool ForEachChildElement(IXMLDOMNode* parent, Visit visit) {
  return ForEachChild(parent, [&visit](IXMLDOMNode* child, DOMNodeType type) {
    if (type == NODE_ELEMENT) {
      std::wstring name;
      return GetNodeName(child, &name) && visit(child, name);
    }
    if (type == NODE_TEXT) {
      std::wstring text;
      return GetNodeValue(child, &text) && IsWhitespaceOnly(text);
    }
    return IsIgnorable(type);
  });
}

// The content of an element that holds only text (entity references or child elements
// make it invalid).
bool GetElementText(IXMLDOMNode* element, std::wstring* text) {
  text->clear();
  return ForEachChild(element, [text](IXMLDOMNode* child, DOMNodeType type) {
    if (type != NODE_TEXT && type != NODE_CDATA_SECTION)
      return IsIgnorable(type);
    std::wstring part;
    if (!GetNodeValue(child, &part))
      return false;
    text->append(part);
    return true;
  });
}

bool ReadFlag(IXMLDOMNode* element, bool* flag) {
  std::wstring text;
  if (!GetElementText(element, &text))
    return false;
  if (text == L"1") {
    *flag = true;
    return true;
  }
  if (text == L"0") {
    *flag = false;
    return true;
  }
  return false;
}

bool ReadUtf8(IXMLDOMNode* element, std::string* value) {
  std::wstring text;
  return GetElementText(element, &text) && base::Utf16ToUtf8(text, value);
}

bool ReadPath(IXMLDOMNode* element, base::FilePath* path) {
  std::wstring text;
  if (!GetElementText(element, &text))
    return false;
  *path = base::FilePath(text);
  return true;
}

// Reads the child elements of |parent| that the readers name, each of which must appear
// exactly once; other elements are skipped.
struct ElementReader {
  const wchar_t* name;
  std::function<bool(IXMLDOMNode*)> read;
};

bool ReadElements(IXMLDOMNode* parent, std::initializer_list<ElementReader> readers) {
  std::vector<bool> seen(readers.size(), false);
  const bool read =
      ForEachChildElement(parent, [&](IXMLDOMNode* element, const std::wstring& name) {
        size_t index = 0;
        for (const ElementReader& reader : readers) {
          if (name == reader.name) {
            if (seen[index])
              return false;
            seen[index] = true;
            return reader.read(element);
          }
          ++index;
        }
        return true;
      });
  return read && std::find(seen.begin(), seen.end(), false) == seen.end();
}

// The reader of the element |name| into |field| by read(element, field).
template <typename Field, typename Read>
ElementReader FieldReader(const wchar_t* name, Read read, Field* field) {
  return {name, [read, field](IXMLDOMNode* element) { return read(element, field); }};
}

// Reads each child element of |list| named |item_name| with read_item(element, &item)
// into |items|; other elements are skipped.
template <typename Item, typename ReadItem>
bool ReadList(IXMLDOMNode* list,
              const wchar_t* item_name,
              ReadItem read_item,
              std::vector<Item>* items) {
  return ForEachChildElement(list, [&](IXMLDOMNode* element, const std::wstring& name) {
    if (name != item_name)
      return true;
    Item item;
    if (!read_item(element, &item))
      return false;
    items->push_back(std::move(item));
    return true;
  });
}

bool ReadFileList(IXMLDOMNode* list, std::vector<std::string>* files) {
  return ReadList(list, kFileElement, ReadUtf8, files);
}

bool ReadComponent(IXMLDOMNode* element, InstallComponent* component) {
  return ReadElements(element, {FieldReader(kNameElement, ReadUtf8, &component->name),
                                FieldReader(kPathElement, ReadPath, &component->path)});
}

bool ReadComponents(IXMLDOMNode* list, std::vector<InstallComponent>* components) {
  return ReadList(list, kComponentElement, ReadComponent, components);
}

bool ReadRegistryValue(IXMLDOMNode* element, RegistryValueRecord* value) {
  return GetAttribute(element, kTypeAttribute, &value->type_name) &&
         IsPlainAttributeValue(value->type_name) &&
         ReadElements(element, {FieldReader(kNameElement, GetElementText, &value->name),
                                FieldReader(kDataElement, GetElementText, &value->data)});
}

bool ReadRegistryKey(IXMLDOMNode* element, RegistryKeyRecord* key) {
  std::wstring clean;
  return GetAttribute(element, kCleanAttribute, &clean) &&
         base::StringToUint(clean, &key->clean_depth) &&
         ReadElements(element, {FieldReader(kPathElement, GetElementText, &key->key_path)}) &&
         ReadList(element, kValueElement, ReadRegistryValue, &key->values);
}

bool ReadRegistryRecord(IXMLDOMNode* list, RegistryRecord* record) {
  return ReadList(list, kKeyElement, ReadRegistryKey, record);
}

bool ReadInstallLog(IXMLDOMNode* root, InstallStatus* status) {
  std::wstring name;
  if (!GetNodeName(root, &name) || name != kRootElement) {
    LOG(ERROR) << "Unexpected root element " << name << " in status file";
    return false;
  }
  std::wstring version;
  if (!GetAttribute(root, kVersionAttribute, &version) || version != kFormatVersion) {
    LOG(ERROR) << "Unsupported status file version " << version;
    return false;
  }
  if (!ReadElements(
          root, {FieldReader(kCopyOnlyElement, ReadFlag, &status->copy_only),
                 FieldReader(kAllUsersElement, ReadFlag, &status->all_users),
                 FieldReader(kPinnedElement, ReadFlag, &status->pinned),
                 FieldReader(kAppIdElement, ReadUtf8, &status->app_id),
                 FieldReader(kInstallFolderElement, ReadPath, &status->install_folder),
                 FieldReader(kSubfolderElement, ReadPath, &status->subfolder),
                 FieldReader(kVersionElement, ReadUtf8, &status->version),
                 FieldReader(kDesktopShortcutElement, ReadPath, &status->desktop_shortcut),
                 FieldReader(kStartMenuShortcutElement, ReadPath, &status->start_menu_shortcut),
                 FieldReader(kQuickLaunchShortcutElement, ReadPath, &status->quick_launch_shortcut),
                 FieldReader(kFilesElement, ReadFileList, &status->files),
                 FieldReader(kRootFilesElement, ReadFileList, &status->root_files),
                 FieldReader(kComponentsElement, ReadComponents, &status->components),
                 FieldReader(kLocalMachineKeysElement, ReadRegistryRecord, &status->hklm_keys),
                 FieldReader(kCurrentUserKeysElement, ReadRegistryRecord, &status->hkcu_keys)})) {
    LOG(ERROR) << "Status file content is incomplete or malformed";
    return false;
  }
  return true;
}

// Loads |bytes| into a new DOM document: no validation, no external resources, no
// document type declarations.
bool ParseDocument(const std::string& bytes, ComPtr<IXMLDOMDocument2>* document) {
  ComPtr<IXMLDOMDocument2> dom;
  HRESULT hr =
      ::CoCreateInstance(kClsidDomDocument30, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument2,
                         reinterpret_cast<void**>(dom.GetAddressOf()));
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot create the XML document";
    return false;
  }
  if (FAILED(dom->put_async(VARIANT_FALSE)) || FAILED(dom->put_validateOnParse(VARIANT_FALSE)) ||
      FAILED(dom->put_resolveExternals(VARIANT_FALSE)) ||
      FAILED(dom->put_preserveWhiteSpace(VARIANT_TRUE))) {
    LOG(ERROR) << "Cannot set up the XML document";
    return false;
  }
  // Not every MSXML 3.0 release knows these; the document type check below covers them.
  base::win::ScopedBstr prohibit_dtd(L"ProhibitDTD");
  base::win::ScopedVariant prohibit(true);
  dom->setProperty(prohibit_dtd.Get(), prohibit.Get());
  base::win::ScopedBstr max_depth(L"MaxElementDepth");
  base::win::ScopedVariant depth(kMaxElementDepth);
  dom->setProperty(max_depth.Get(), depth.Get());

  const ComPtr<IStream> stream = base::win::AdoptComPtr(::SHCreateMemStream(
      reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())));
  if (!stream) {
    LOG(ERROR) << "Cannot create a memory stream";
    return false;
  }
  base::win::ScopedVariant source(static_cast<IUnknown*>(stream.Get()));
  VARIANT_BOOL loaded = VARIANT_FALSE;
  hr = dom->load(source.Get(), &loaded);
  if (hr != S_OK || loaded != VARIANT_TRUE) {
    ComPtr<IXMLDOMParseError> error;
    long code = 0;
    long line = 0;
    base::win::ScopedBstr reason;
    if (SUCCEEDED(dom->get_parseError(error.GetAddressOf())) && error) {
      error->get_errorCode(&code);
      error->get_line(&line);
      error->get_reason(reason.Receive());
    }
    LOG(ERROR) << "Status file is not well-formed XML (error 0x" << std::hex
               << static_cast<unsigned long>(code) << std::dec << ", line " << line
               << "): " << reason.View();
    return false;
  }

  ComPtr<IXMLDOMDocumentType> doctype;
  if (SUCCEEDED(dom->get_doctype(doctype.GetAddressOf())) && doctype) {
    LOG(ERROR) << "Status file carries a document type declaration";
    return false;
  }
  *document = std::move(dom);
  return true;
}

// ---------------------------------------------------------------------------------------
// Writing.

// Writes elements through the SAX content handler of an MSXML writer as UTF-8,
// indented by one tab per level. The first failure sticks: later calls do nothing and
// Finish reports it.
class StatusWriter {
 public:
  bool Init();

  void Start(const wchar_t* name) { StartWithAttribute(name, nullptr, std::wstring_view()); }
  void StartWithAttribute(const wchar_t* name,
                          const wchar_t* attribute,
                          std::wstring_view attribute_value);
  void End(const wchar_t* name);
  void Text(std::wstring_view text);
  // An element holding only |text|.
  void TextElement(const wchar_t* name, std::wstring_view text) {
    Start(name);
    Text(text);
    End(name);
  }
  void Utf8Element(const wchar_t* name, const std::string& text);

  // The document as UTF-8 with its XML declaration.
  bool Finish(std::string* document);

 private:
  void Fail(HRESULT hr, const char* what);
  // A line break and one tab per open element, written as text between elements only.
  // The writer's own indenting is not used: some MSXML implementations add whitespace to
  // the content of text-only elements with it.
  HRESULT Indent();

  HRESULT result_ = S_OK;
  // For each open element, whether it has child elements.
  std::vector<bool> open_elements_;
  ComPtr<IMXWriter> writer_;
  ComPtr<ISAXContentHandler> handler_;
  ComPtr<IMXAttributes> attributes_;
  ComPtr<ISAXAttributes> sax_attributes_;
  ComPtr<IStream> stream_;
};

bool StatusWriter::Init() {
  HRESULT hr = ::CoCreateInstance(kClsidMxXmlWriter30, nullptr, CLSCTX_INPROC_SERVER, kIidMxWriter,
                                  reinterpret_cast<void**>(writer_.GetAddressOf()));
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot create the XML writer";
    return false;
  }
  hr = writer_->QueryInterface(kIidSaxContentHandler,
                               reinterpret_cast<void**>(handler_.GetAddressOf()));
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "The XML writer has no content handler";
    return false;
  }
  hr = ::CoCreateInstance(kClsidSaxAttributes30, nullptr, CLSCTX_INPROC_SERVER, kIidMxAttributes,
                          reinterpret_cast<void**>(attributes_.GetAddressOf()));
  if (SUCCEEDED(hr)) {
    hr = attributes_->QueryInterface(kIidSaxAttributes,
                                     reinterpret_cast<void**>(sax_attributes_.GetAddressOf()));
  }
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot create the XML attributes";
    return false;
  }
  // The writer encodes into a memory stream; the declaration is written by Finish so that
  // the file starts the same way with every MSXML release.
  stream_ = base::win::AdoptComPtr(::SHCreateMemStream(nullptr, 0));
  if (!stream_) {
    LOG(ERROR) << "Cannot create a memory stream";
    return false;
  }
  base::win::ScopedVariant output(static_cast<IUnknown*>(stream_.Get()));
  base::win::ScopedBstr encoding(L"UTF-8");
  hr = writer_->put_output(output.Get());
  if (SUCCEEDED(hr))
    hr = writer_->put_encoding(encoding.Get());
  if (SUCCEEDED(hr))
    hr = writer_->put_byteOrderMark(VARIANT_FALSE);
  if (SUCCEEDED(hr))
    hr = writer_->put_omitXMLDeclaration(VARIANT_TRUE);
  if (SUCCEEDED(hr))
    hr = writer_->put_disableOutputEscaping(VARIANT_TRUE);
  if (SUCCEEDED(hr))
    hr = handler_->startDocument();
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot start the XML document";
    return false;
  }
  return true;
}

void StatusWriter::Fail(HRESULT hr, const char* what) {
  if (SUCCEEDED(result_)) {
    ELOG(ERROR, hr) << "Writing the status file failed: " << what;
    result_ = hr;
  }
}

void StatusWriter::StartWithAttribute(const wchar_t* name,
                                      const wchar_t* attribute,
                                      std::wstring_view attribute_value) {
  if (FAILED(result_))
    return;
  HRESULT hr = attributes_->clear();
  if (SUCCEEDED(hr) && attribute) {
    if (!IsPlainAttributeValue(attribute_value))
      return Fail(E_INVALIDARG, "attribute value that would not read back the same");
    base::win::ScopedBstr empty(L"");
    base::win::ScopedBstr attribute_name(attribute);
    base::win::ScopedBstr type(L"CDATA");
    base::win::ScopedBstr value(attribute_value);
    hr = attributes_->addAttribute(empty.Get(), attribute_name.Get(), attribute_name.Get(),
                                   type.Get(), value.Get());
  }
  if (SUCCEEDED(hr) && !open_elements_.empty()) {
    open_elements_.back() = true;
    hr = Indent();
  }
  if (SUCCEEDED(hr)) {
    const int length = static_cast<int>(wcslen(name));
    hr = handler_->startElement(L"", 0, name, length, name, length, sax_attributes_.Get());
  }
  if (FAILED(hr))
    return Fail(hr, "start of element");
  open_elements_.push_back(false);
}

HRESULT StatusWriter::Indent() {
  std::wstring whitespace = L"\r\n";
  whitespace.append(open_elements_.size(), L'\t');
  return handler_->characters(whitespace.data(), static_cast<int>(whitespace.size()));
}

void StatusWriter::End(const wchar_t* name) {
  if (FAILED(result_))
    return;
  const bool has_child_elements = open_elements_.back();
  open_elements_.pop_back();
  HRESULT hr = has_child_elements ? Indent() : S_OK;
  if (SUCCEEDED(hr)) {
    const int length = static_cast<int>(wcslen(name));
    hr = handler_->endElement(L"", 0, name, length, name, length);
  }
  if (FAILED(hr))
    Fail(hr, "end of element");
}

void StatusWriter::Text(std::wstring_view text) {
  if (FAILED(result_) || text.empty())
    return;
  if (!IsXmlText(text))
    return Fail(E_INVALIDARG, "text that XML cannot hold");
  // Escaped here rather than by the writer, which leaves carriage returns as they are (a
  // parser would turn them into line feeds).
  std::wstring escaped;
  escaped.reserve(text.size());
  for (wchar_t c : text) {
    switch (c) {
      case L'&':
        escaped += L"&amp;";
        break;
      case L'<':
        escaped += L"&lt;";
        break;
      case L'>':
        escaped += L"&gt;";
        break;
      case L'\r':
        escaped += L"&#13;";
        break;
      default:
        escaped += c;
    }
  }
  const HRESULT hr = handler_->characters(escaped.data(), static_cast<int>(escaped.size()));
  if (FAILED(hr))
    Fail(hr, "text");
}

void StatusWriter::Utf8Element(const wchar_t* name, const std::string& text) {
  std::wstring wide;
  if (!base::Utf8ToUtf16(text, &wide))
    return Fail(E_INVALIDARG, "text that is not UTF-8");
  TextElement(name, wide);
}

bool StatusWriter::Finish(std::string* document) {
  if (FAILED(result_))
    return false;
  HRESULT hr = handler_->endDocument();
  if (SUCCEEDED(hr))
    hr = writer_->flush();
  STATSTG stat = {};
  if (SUCCEEDED(hr))
    hr = stream_->Stat(&stat, STATFLAG_NONAME);
  if (SUCCEEDED(hr) && stat.cbSize.QuadPart > static_cast<ULONGLONG>(kMaxStatusFileSize))
    hr = E_OUTOFMEMORY;
  std::string body(SUCCEEDED(hr) ? static_cast<size_t>(stat.cbSize.QuadPart) : 0, '\0');
  LARGE_INTEGER start = {};
  if (SUCCEEDED(hr))
    hr = stream_->Seek(start, STREAM_SEEK_SET, nullptr);
  ULONG read = 0;
  if (SUCCEEDED(hr) && !body.empty())
    hr = stream_->Read(body.data(), static_cast<ULONG>(body.size()), &read);
  if (SUCCEEDED(hr) && read != body.size())
    hr = E_UNEXPECTED;
  if (FAILED(hr)) {
    Fail(hr, "end of document");
    return false;
  }
  document->assign(kXmlDeclaration);
  document->append(body);
  document->append("\r\n");
  return true;
}

void WriteFlag(StatusWriter* writer, const wchar_t* name, bool flag) {
  writer->TextElement(name, flag ? L"1" : L"0");
}

void WriteFileList(StatusWriter* writer,
                   const wchar_t* name,
                   const std::vector<std::string>& files) {
  writer->Start(name);
  for (const std::string& file : files)
    writer->Utf8Element(kFileElement, file);
  writer->End(name);
}

void WriteRegistryRecord(StatusWriter* writer, const wchar_t* name, const RegistryRecord& record) {
  writer->Start(name);
  for (const RegistryKeyRecord& key : record) {
    writer->StartWithAttribute(kKeyElement, kCleanAttribute,
                               base::UintToWideString(key.clean_depth));
    writer->TextElement(kPathElement, key.key_path);
    for (const RegistryValueRecord& value : key.values) {
      writer->StartWithAttribute(kValueElement, kTypeAttribute, value.type_name);
      writer->TextElement(kNameElement, value.name);
      writer->TextElement(kDataElement, value.data);
      writer->End(kValueElement);
    }
    writer->End(kKeyElement);
  }
  writer->End(name);
}

bool SerializeStatus(const InstallStatus& status, std::string* document) {
  StatusWriter writer;
  if (!writer.Init())
    return false;
  writer.StartWithAttribute(kRootElement, kVersionAttribute, kFormatVersion);
  WriteFlag(&writer, kCopyOnlyElement, status.copy_only);
  WriteFlag(&writer, kAllUsersElement, status.all_users);
  WriteFlag(&writer, kPinnedElement, status.pinned);
  writer.Utf8Element(kAppIdElement, status.app_id);
  writer.TextElement(kInstallFolderElement, status.install_folder.value());
  writer.TextElement(kSubfolderElement, status.subfolder.value());
  writer.Utf8Element(kVersionElement, status.version);
  writer.TextElement(kDesktopShortcutElement, status.desktop_shortcut.value());
  writer.TextElement(kStartMenuShortcutElement, status.start_menu_shortcut.value());
  writer.TextElement(kQuickLaunchShortcutElement, status.quick_launch_shortcut.value());
  WriteFileList(&writer, kFilesElement, status.files);
  WriteFileList(&writer, kRootFilesElement, status.root_files);
  writer.Start(kComponentsElement);
  for (const InstallComponent& component : status.components) {
    writer.Start(kComponentElement);
    writer.Utf8Element(kNameElement, component.name);
    writer.TextElement(kPathElement, component.path.value());
    writer.End(kComponentElement);
  }
  writer.End(kComponentsElement);
  WriteRegistryRecord(&writer, kLocalMachineKeysElement, status.hklm_keys);
  WriteRegistryRecord(&writer, kCurrentUserKeysElement, status.hkcu_keys);
  writer.End(kRootElement);
  return writer.Finish(document);
}

// Writes |contents| to the new file |path| and flushes it to the disk.
bool WriteAndFlush(const base::FilePath& path, const std::string& contents) {
  base::File file(path, base::File::FLAG_CREATE_ALWAYS | base::File::FLAG_WRITE |
                            base::File::FLAG_EXCLUSIVE_READ | base::File::FLAG_EXCLUSIVE_WRITE);
  if (!file.IsValid()) {
    ELOG(ERROR, file.error_details()) << "Cannot open " << path;
    return false;
  }
  if (file.Write(0, contents.data(), static_cast<int>(contents.size())) !=
      static_cast<int>(contents.size())) {
    PLOG(ERROR) << "Cannot write " << path;
    return false;
  }
  if (!::FlushFileBuffers(file.GetPlatformFile())) {
    PLOG(ERROR) << "Cannot flush " << path;
    return false;
  }
  return true;
}

}  // namespace

bool LoadInstallStatus(const base::FilePath& path, InstallStatus* status) {
  int64_t size = 0;
  if (!base::GetFileSize(path, &size)) {
    VLOG(1) << "No status file at " << path;
    return false;
  }
  if (size > kMaxStatusFileSize) {
    LOG(ERROR) << "Status file " << path << " is too large (" << size << " bytes)";
    return false;
  }
  std::string bytes;
  if (!base::ReadFileToString(path, &bytes) ||
      bytes.size() > static_cast<size_t>(kMaxStatusFileSize)) {
    LOG(ERROR) << "Cannot read status file " << path;
    return false;
  }

  ComPtr<IXMLDOMDocument2> document;
  if (!ParseDocument(bytes, &document)) {
    LOG(ERROR) << "Cannot parse status file " << path;
    return false;
  }
  ComPtr<IXMLDOMElement> root;
  if (document->get_documentElement(root.GetAddressOf()) != S_OK || !root)
    return false;
  InstallStatus loaded;
  if (!ReadInstallLog(root.Get(), &loaded)) {
    LOG(ERROR) << "Invalid status file " << path;
    return false;
  }
  *status = std::move(loaded);
  return true;
}

bool SaveInstallStatus(const base::FilePath& path, const InstallStatus& status) {
  std::string document;
  if (!SerializeStatus(status, &document))
    return false;

  base::FilePath temp_path;
  if (!base::CreateTemporaryFileInDir(path.DirName(), &temp_path))
    return false;
  if (!WriteAndFlush(temp_path, document)) {
    base::DeletePath(temp_path, false);
    return false;
  }
  // A read-only status file stays as it is (not every file system refuses to replace it).
  const DWORD attributes = ::GetFileAttributesW(path.value().c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    LOG(ERROR) << "Cannot replace read-only status file " << path;
    base::DeletePath(temp_path, false);
    return false;
  }
  if (!::MoveFileExW(temp_path.value().c_str(), path.value().c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    PLOG(ERROR) << "Cannot replace status file " << path;
    base::DeletePath(temp_path, false);
    return false;
  }
  return true;
}

}  // namespace installer
