#pragma once

// What a screen reader is told about the few widgets whose own accessible face says less than the
// eye sees: the tabs say which one is selected and offer no hidden scroll buttons, a drop-down list
// is named by its label and not by its value, a link is a link, a checkable menu item says whether
// it is ticked, and a window is a window. Everything else keeps Qt's own.
namespace Accessibility {

// Once, before the first window is shown.
void install();

} // namespace Accessibility
