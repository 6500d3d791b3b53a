#pragma once
// What the window tells assistive technology (a screen reader, through the
// desktop's accessibility bus on Linux or UI Automation on Windows) beyond
// what the toolkit tells of its own controls: the window is a window, the
// status panel its status element, the grid a table (grid/), the password
// box keeps what is typed in it to itself, and every box is named after its
// caption. None of it changes a pixel or the keyboard.

class QLabel;
class QWidget;

// Installs the window's accessible interfaces and the password box's guard;
// later calls do nothing.
void installAccessibility();

// Names the control after the caption the window shows beside it, without
// the colon and blanks that end it ("Usuario : " names "Usuario"), and makes
// the caption its label for readers that follow that link. The caption holds
// no "&", so the link adds no shortcut.
void nameAfterCaption(QWidget* control, QLabel* caption);
