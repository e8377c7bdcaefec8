#pragma once

#include <QStringList>

class QCoreApplication;

namespace mugrove {

struct Form;
struct WindowDefinition;

// MainWindow Created: binds the drop target (to the work area and the frame
// around it), primes the two number boxes,
// stretches the work area's picture and ticks the bold box.
void OnWindowCreated(Form& form);

// The text shown when the main window cannot be created.
QString StartupFailureText();

// The files named on the command line (the arguments after the program's
// name, which Qt has already taken its own options from); "file:" URLs, as
// some file managers pass them, become their local paths.
QStringList FilesToOpen(const QStringList& arguments);

// Everything after the window machinery exists: builds the form (the
// caption's state, the overlay font and the drag, before the window), raises
// Created, shows the first of `files` that holds a picture as a drop would,
// shows the window and runs the message loop; the form releases the window,
// then that state. 0 after the window has closed; -1 when the window could
// not be created.
int RunProgram(const WindowDefinition& definition, const QStringList& files = {});

// Sets the heap up for pictures decoded one after another: blocks up to
// 16 MB come from the heap and freed memory stays there up to 32 MB, so the
// next template reuses pages the last one faulted in instead of the kernel
// clearing new ones. Larger pictures (big photos) still go back when freed.
// Called first thing, before any allocation it should govern.
void TuneHeapForPictures();

// Loads Qt's own translation for the desktop's language (its dialogs'
// titles and buttons, the edit boxes' menus), so that on a Chinese desktop
// the font dialog speaks Chinese like the rest of the window. False, and
// Qt's English, when there is none for that language.
bool LoadQtTranslation(QCoreApplication& application);

// Whether a display is there to open windows on; without one Qt would abort.
bool DisplayAvailable();

} // namespace mugrove
