#ifndef DESKTOP_WINDOWS_INSTALLER_UI_RICH_TEXT_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_RICH_TEXT_H_

#include <windows.h>
#include <richedit.h>

#include <string>
#include <string_view>
#include <vector>

// Texts with links in rich edit controls. The localised strings mark a link as
// <a href="target">label</a>; the control shows the label as an underlined hyperlink that
// sends EN_LINK when clicked (ENM_LINK in the control's event mask).

namespace installer {

// A link that the control could not take as a hyperlink field and that was set as a plain
// underlined label instead (some rich edit versions drop hyperlink fields they read, and
// draw text marked as a link in their own colour). Its clicks are found with
// FindPlainLinkAt.
struct RichTextLink {
  std::wstring label;
  std::wstring target;
  // Where the label is in the control's text.
  CHARRANGE range = {0, 0};
};

// |text| with each complete link written as "$1" target "$2" label "$3". Anything that is
// not a complete link stays as it is.
std::wstring RewriteLinks(std::wstring_view text);

// Sets |text| into |control| with its links as hyperlink fields, the first link coloured
// |link_colour|. A text without links is set as it is. Returns the links placed without
// fields (see RichTextLink), to be passed to GetClickedLinkTarget.
std::vector<RichTextLink> SetRichTextWithLinks(HWND control,
                                               std::wstring_view text,
                                               COLORREF link_colour);

// The plain link whose label is under |point| (client coordinates of |control|), or null.
const RichTextLink* FindPlainLinkAt(HWND control,
                                    POINT point,
                                    const std::vector<RichTextLink>& plain_links);

// The target of the link clicked over |range| (the range of an EN_LINK notification).
std::wstring GetClickedLinkTarget(HWND control,
                                  const CHARRANGE& range,
                                  const std::vector<RichTextLink>& plain_links);

// The text of |control| between the character positions |start| and |end|.
std::wstring GetRichTextRange(HWND control, LONG start, LONG end);

// Colours the characters from |start| to |end| (-1: to the end of the text).
bool SetRichTextColor(HWND control, LONG start, LONG end, COLORREF colour);

// The control's content as RTF, and content replaced by RTF.
std::string StreamOutRtf(HWND control);
bool StreamInRtf(HWND control, const std::string& rtf);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_RICH_TEXT_H_
