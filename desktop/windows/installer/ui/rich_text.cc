#include "desktop/windows/installer/ui/rich_text.h"

#include <string.h>

#include "base/logging.h"
#include "base/strings/string_util.h"

namespace installer {

namespace {

constexpr wchar_t kLinkStart[] = L"$1";
constexpr wchar_t kLinkLabel[] = L"$2";
constexpr wchar_t kLinkEnd[] = L"$3";

// The RTF of a hyperlink field around the target and the label.
constexpr char kFieldStart[] = "{\\field{\\*\\fldinst{HYPERLINK \"";
constexpr char kFieldLabel[] = "\"}}{\\fldrslt{\\ul ";
constexpr char kFieldEnd[] = "}}}";
constexpr char kLineBreak[] = "\\line";

void ReplaceAll(std::string* text, std::string_view from, std::string_view to) {
  size_t position = 0;
  while ((position = text->find(from, position)) != std::string::npos) {
    text->replace(position, from.size(), to);
    position += to.size();
  }
}

// The links of a rewritten text, in order.
std::vector<RichTextLink> ParseRewrittenLinks(std::wstring_view rewritten) {
  std::vector<RichTextLink> links;
  size_t position = 0;
  while ((position = rewritten.find(kLinkStart, position)) != std::wstring_view::npos) {
    const size_t label = rewritten.find(kLinkLabel, position + 2);
    const size_t end = label == std::wstring_view::npos ? label : rewritten.find(kLinkEnd, label + 2);
    if (end == std::wstring_view::npos)
      break;
    links.push_back({std::wstring(rewritten.substr(label + 2, end - label - 2)),
                     std::wstring(rewritten.substr(position + 2, label - position - 2))});
    position = end + 2;
  }
  return links;
}

std::wstring GetControlText(HWND control) {
  GETTEXTLENGTHEX length_request = {GTL_DEFAULT | GTL_NUMCHARS, 1200};
  const LRESULT length =
      ::SendMessageW(control, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length_request), 0);
  if (length <= 0)
    return std::wstring();
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GETTEXTEX request = {};
  request.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  request.flags = GT_DEFAULT;
  request.codepage = 1200;
  const LRESULT copied = ::SendMessageW(control, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&request),
                                        reinterpret_cast<LPARAM>(&text[0]));
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

std::wstring GetFirstLine(HWND control) {
  wchar_t line[512] = {};
  // EM_GETLINE reads the buffer size from the buffer's first word.
  line[0] = static_cast<wchar_t>(ARRAYSIZE(line) - 1);
  const LRESULT copied = ::SendMessageW(control, EM_GETLINE, 0, reinterpret_cast<LPARAM>(line));
  return std::wstring(line, copied > 0 ? static_cast<size_t>(copied) : 0);
}

// Applies |format| to the characters from |start| to |end| (-1: to the end of the text).
bool SetCharFormat(HWND control, LONG start, LONG end, CHARFORMAT2W* format) {
  format->cbSize = sizeof(*format);
  CHARRANGE range = {start, end};
  ::SendMessageW(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
  const bool set = ::SendMessageW(control, EM_SETCHARFORMAT, SCF_SELECTION,
                                  reinterpret_cast<LPARAM>(format)) != 0;
  CHARRANGE none = {0, 0};
  ::SendMessageW(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
  return set;
}

bool SetUnderline(HWND control, LONG start, LONG end) {
  CHARFORMAT2W format = {};
  format.dwMask = CFM_UNDERLINE;
  format.dwEffects = CFE_UNDERLINE;
  return SetCharFormat(control, start, end, &format);
}

// Where hyperlink fields were dropped: the labels alone, underlined. They are not marked as
// links: such a control draws links in a colour of its own.
std::vector<RichTextLink> SetPlainLinks(HWND control,
                                        std::wstring_view rewritten,
                                        std::vector<RichTextLink> links,
                                        COLORREF link_colour) {
  std::wstring plain;
  size_t position = 0;
  for (RichTextLink& link : links) {
    const size_t start = rewritten.find(kLinkStart, position);
    plain.append(rewritten.substr(position, start - position));
    const LONG label_start = static_cast<LONG>(plain.size());
    plain.append(link.label);
    link.range = {label_start, static_cast<LONG>(plain.size())};
    position = rewritten.find(kLinkEnd, start) + 2;
  }
  plain.append(rewritten.substr(position));
  ::SetWindowTextW(control, plain.c_str());
  for (const RichTextLink& link : links)
    SetUnderline(control, link.range.cpMin, link.range.cpMax);
  if (!links.empty())
    SetRichTextColor(control, links[0].range.cpMin, links[0].range.cpMax, link_colour);
  return links;
}

POINT GetCharPosition(HWND control, LONG index) {
  POINTL point = {};
  ::SendMessageW(control, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&point), index);
  return POINT{point.x, point.y};
}

struct StreamInSource {
  const std::string* rtf;
  size_t position;
};

DWORD CALLBACK WriteToString(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* written) {
  reinterpret_cast<std::string*>(cookie)->append(reinterpret_cast<const char*>(buffer),
                                                 static_cast<size_t>(count));
  *written = count;
  return 0;
}

DWORD CALLBACK ReadFromString(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* read) {
  StreamInSource* source = reinterpret_cast<StreamInSource*>(cookie);
  size_t available = source->rtf->size() - source->position;
  if (count < 0)
    count = 0;
  if (available > static_cast<size_t>(count))
    available = static_cast<size_t>(count);
  memcpy(buffer, source->rtf->data() + source->position, available);
  source->position += available;
  *read = static_cast<LONG>(available);
  return 0;
}

}  // namespace

std::wstring RewriteLinks(std::wstring_view text) {
  std::wstring result;
  size_t position = 0;
  size_t anchor;
  while ((anchor = text.find(L"<a ", position)) != std::wstring_view::npos) {
    // The target and the end of the tag, within the tag.
    const size_t href = text.find(L"href=\"", anchor + 3);
    const size_t target_end = href == std::wstring_view::npos ? href : text.find(L'"', href + 6);
    const size_t label_start =
        target_end == std::wstring_view::npos ? target_end : text.find(L'>', target_end + 1);
    const size_t label_end =
        label_start == std::wstring_view::npos ? label_start : text.find(L"</a>", label_start + 1);
    if (label_end == std::wstring_view::npos || text.find(L'>', anchor + 3) < target_end) {
      // Not a link: keep the characters as they are.
      result.append(text.substr(position, anchor + 3 - position));
      position = anchor + 3;
      continue;
    }
    result.append(text.substr(position, anchor - position));
    result.append(kLinkStart);
    result.append(text.substr(href + 6, target_end - href - 6));
    result.append(kLinkLabel);
    result.append(text.substr(label_start + 1, label_end - label_start - 1));
    result.append(kLinkEnd);
    position = label_end + 4;
  }
  result.append(text.substr(position));
  return result;
}

std::vector<RichTextLink> SetRichTextWithLinks(HWND control,
                                               std::wstring_view text,
                                               COLORREF link_colour) {
  const std::wstring rewritten = RewriteLinks(text);
  ::SetWindowTextW(control, rewritten.c_str());
  const std::vector<RichTextLink> links = ParseRewrittenLinks(rewritten);
  if (links.empty())
    return {};

  const size_t first_start = rewritten.find(kLinkStart);
  const size_t first_end = rewritten.find(kLinkEnd, first_start);
  SetRichTextColor(control, static_cast<LONG>(first_start), static_cast<LONG>(first_end + 2),
                   link_colour);

  const std::string original_rtf = StreamOutRtf(control);
  std::string field_start = kFieldStart;
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::string rtf = original_rtf;
    ReplaceAll(&rtf, "$1", field_start);
    ReplaceAll(&rtf, "$2", kFieldLabel);
    ReplaceAll(&rtf, "$3", kFieldEnd);
    if (!StreamInRtf(control, rtf))
      break;
    // A field that starts at the end of the first line shows its instruction there: it goes
    // to the next line instead.
    if (attempt == 0 && base::EndsWith(GetFirstLine(control), L"HYPERLINK ",
                                       base::CompareCase::SENSITIVE)) {
      field_start = std::string(kLineBreak) + kFieldStart;
      continue;
    }
    break;
  }

  // Rich edit controls that drop hyperlink fields lose their labels with them.
  const std::wstring shown = GetControlText(control);
  for (const RichTextLink& link : links) {
    if (shown.find(link.label) == std::wstring::npos) {
      VLOG(1) << "Hyperlink fields are not supported: marking the link labels instead";
      return SetPlainLinks(control, rewritten, links, link_colour);
    }
  }
  return {};
}

const RichTextLink* FindPlainLinkAt(HWND control,
                                    POINT point,
                                    const std::vector<RichTextLink>& plain_links) {
  if (plain_links.empty())
    return nullptr;
  POINTL where = {point.x, point.y};
  const LONG index = static_cast<LONG>(
      ::SendMessageW(control, EM_CHARFROMPOS, 0, reinterpret_cast<LPARAM>(&where)));
  // The nearest character is not always under the point: beside or below the text, the
  // point must lie in its cell.
  const POINT cell = GetCharPosition(control, index);
  const POINT next = GetCharPosition(control, index + 1);
  const LRESULT line = ::SendMessageW(control, EM_EXLINEFROMCHAR, 0, index);
  const LRESULT next_line_start = ::SendMessageW(control, EM_LINEINDEX, line + 1, 0);
  RECT client = {};
  ::GetClientRect(control, &client);
  const LONG bottom =
      next_line_start < 0 ? client.bottom : GetCharPosition(control, static_cast<LONG>(next_line_start)).y;
  if (point.x < cell.x || (next.y == cell.y && point.x >= next.x) || point.y < cell.y ||
      point.y >= bottom) {
    return nullptr;
  }
  for (const RichTextLink& link : plain_links) {
    if (index >= link.range.cpMin && index < link.range.cpMax)
      return &link;
  }
  return nullptr;
}

std::wstring GetClickedLinkTarget(HWND control,
                                  const CHARRANGE& range,
                                  const std::vector<RichTextLink>& plain_links) {
  std::wstring text = GetRichTextRange(control, range.cpMin, range.cpMax);
  for (const RichTextLink& link : plain_links) {
    if (link.label == text)
      return link.target;
  }
  // A field's range may hold its instruction, or its target in quotes.
  const size_t instruction = text.find(L"HYPERLINK ");
  if (instruction != std::wstring::npos)
    text.erase(0, instruction + 10);
  if (text.size() >= 2 && text.front() == L'"') {
    const size_t quote = text.find(L'"', 1);
    if (quote != std::wstring::npos)
      return text.substr(1, quote - 1);
  }
  return text;
}

std::wstring GetRichTextRange(HWND control, LONG start, LONG end) {
  if (start < 0 || end <= start)
    return std::wstring();
  std::wstring text(static_cast<size_t>(end - start) + 1, L'\0');
  TEXTRANGEW request = {{start, end}, &text[0]};
  const LRESULT copied =
      ::SendMessageW(control, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&request));
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

bool SetRichTextColor(HWND control, LONG start, LONG end, COLORREF colour) {
  CHARFORMAT2W format = {};
  format.dwMask = CFM_COLOR;
  format.crTextColor = colour;
  return SetCharFormat(control, start, end, &format);
}

std::string StreamOutRtf(HWND control) {
  std::string rtf;
  EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&rtf), 0, &WriteToString};
  ::SendMessageW(control, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  if (stream.dwError)
    LOG(ERROR) << "Streaming out the rich text failed: " << stream.dwError;
  return rtf;
}

bool StreamInRtf(HWND control, const std::string& rtf) {
  StreamInSource source = {&rtf, 0};
  EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&source), 0, &ReadFromString};
  ::SendMessageW(control, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  if (stream.dwError) {
    LOG(ERROR) << "Streaming in the rich text failed: " << stream.dwError;
    return false;
  }
  return true;
}

}  // namespace installer
