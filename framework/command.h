#pragma once
// Commands and their update state.
//
// A command (a menu item, an accelerator, a ribbon element) is routed
// through a chain of command targets: the active view, its document, the
// active tab's frame, the main frame, the application (MDIFrameWnd). The
// first target that handles the command runs it; the first target that
// handles it also decides its update state. A command that no target
// handles is disabled. Everything here runs on the user-interface thread.
//
// A target registers its commands in its CommandTable:
//
//     m_commands.Add(ID_REFRESH, [this](UINT) { Refresh(); },
//                    [this](CmdUI& ui) { ui.Enable(!m_bBusy); });
#include <windows.h>

#include <functional>
#include <vector>

namespace fw {

// Update state of one command, as the handling target sets it. Starts
// enabled, unchecked and without radio mark.
struct CmdUI {
    explicit CmdUI(UINT commandId) : id(commandId) {}
    void Enable(bool on = true) { enabled = on; }
    void SetCheck(bool on = true) { checked = on; }
    void SetRadio(bool on = true) { radio = on; }

    UINT id;
    bool enabled = true;
    bool checked = false;
    bool radio = false;
};

// The commands of one target: ranges of identifiers, each with the
// operation that runs it and, optionally, the one that updates it (without
// one the command stays enabled).
class CommandTable {
public:
    using Handler = std::function<void(UINT)>;
    using Updater = std::function<void(CmdUI&)>;

    void Add(UINT id, Handler run, Updater update = {}) { AddRange(id, id, std::move(run), std::move(update)); }
    void AddRange(UINT first, UINT last, Handler run, Updater update = {});
    // True when the table holds `id` (then `run` was called).
    bool Run(UINT id) const;
    // True when the table holds `ui.id` (then its updater, if any, set `ui`).
    bool Update(CmdUI& ui) const;

private:
    struct Entry {
        UINT first, last;
        Handler run;
        Updater update;
    };
    const Entry* Find(UINT id) const;
    std::vector<Entry> m_entries;
};

class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    // Runs `id`; true when this target handles it.
    virtual bool OnCommand(UINT id) { return m_commands.Run(id); }
    // Sets the update state of `ui.id`; true when this target handles it.
    virtual bool OnUpdateCommand(CmdUI& ui) { return m_commands.Update(ui); }

protected:
    CommandTable m_commands;
};

} // namespace fw
