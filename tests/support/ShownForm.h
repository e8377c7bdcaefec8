#pragma once

// A real main window, built from its definition with its events bound and
// shown, for driving the output handlers through real controls.

#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/LogFont.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"

#include <QDeadlineTimer>
#include <QTest>

#include <memory>
#include <utility>

namespace mugrove::testing {

// The button face the picture box paints its background with.
inline const QColor kBackground(0xEF, 0xEF, 0xEF);

inline std::unique_ptr<Form> ShowForm(SaveEnvironment save = {})
{
    RegisterFontSubstitutions();
    auto form = CreateForm(DefaultWindowDefinition());
    if (!form)
        return nullptr;
    BindEvents(*form, std::move(save));
    form->window->show();
    if (!QTest::qWaitForWindowExposed(form->window.get()))
        return nullptr;
    return form;
}

// Runs the window until its animated save is over; false after two minutes.
inline bool WaitForAnimatedSave(Form& form)
{
    QDeadlineTimer deadline(120000);
    while (form.events->AnimatedSaveRunning() && !deadline.hasExpired())
        QTest::qWait(2);
    return !form.events->AnimatedSaveRunning();
}

inline QWidget& Box(Form& form)
{
    return form.workArea->NativeWindow();
}

} // namespace mugrove::testing
