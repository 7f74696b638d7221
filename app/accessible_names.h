// Names and descriptions for screen readers on controls that show no text of
// their own (the finder's target, the filter): the system's own accessible
// object for the control, with its name and description replaced. Made and
// used on the control's thread.
#pragma once
#include <windows.h>

// Subclasses the control so that WM_GETOBJECT answers with that object; the
// texts are string resources, loaded at each request. False when the control
// cannot be subclassed. The subclass ends with the control.
bool GiveAccessibleName(HWND control, UINT nameId, UINT descriptionId);

// The description of the control's item `child` (1 for the first), or
// false to leave the system's own: called on the control's thread.
typedef bool (*ItemDescriber)(HWND control, long child, wchar_t* text, size_t capacity);
// The same for a list whose items' descriptions begin with what `describe`
// says, the system's own description after it; the control keeps the
// system's name when `nameId` is 0.
bool GiveAccessibleItemDescriptions(HWND control, UINT nameId, ItemDescriber describe);
