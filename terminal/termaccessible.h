#pragma once
// What screen readers (and the end-to-end tests, over AT-SPI) read of the terminal screen: a
// multi-line text whose characters are the screen's text as CTermEdit::Render gives it, with
// the caret and the selection.

// Makes Qt's accessibility use this interface for every CTermEdit (once per process).
void InstallTermAccessible();
