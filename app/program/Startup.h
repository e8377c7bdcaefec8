#pragma once

class QString;

namespace mugrove {

struct Form;
struct WindowDefinition;

// MainWindow Created: binds the drop target, primes the two number boxes,
// stretches the work area's picture and ticks the bold box.
void OnWindowCreated(Form& form);

// The text shown when the main window cannot be created.
QString StartupFailureText();

// Leads the application font with the Chinese GUI face when it is installed.
void UseChineseGuiFont();

// Everything after the window machinery exists: builds the form (the
// caption's state, the overlay font and the drag, before the window), raises
// Created, shows the window and runs the message loop; the form releases the
// window, then that state. 0 after the window has closed; -1 when the window
// could not be created.
int RunProgram(const WindowDefinition& definition);

// Whether a display is there to open windows on; without one Qt would abort.
bool DisplayAvailable();

} // namespace mugrove
