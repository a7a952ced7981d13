#include "command.h"

namespace fw {

void CommandTable::AddRange(UINT first, UINT last, Handler run, Updater update) {
    if (first > last) std::swap(first, last);
    m_entries.push_back(Entry{first, last, std::move(run), std::move(update)});
}

// The entry added last wins, so that a derived target may take over an
// identifier its base registered.
const CommandTable::Entry* CommandTable::Find(UINT id) const {
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it)
        if (id >= it->first && id <= it->last) return &*it;
    return nullptr;
}

bool CommandTable::Run(UINT id) const {
    const Entry* entry = Find(id);
    if (!entry) return false;
    // A copy: the handler may change the table (or its owner may go).
    Handler run = entry->run;
    if (run) run(id);
    return true;
}

bool CommandTable::Update(CmdUI& ui) const {
    const Entry* entry = Find(ui.id);
    if (!entry) return false;
    if (entry->update) entry->update(ui);
    return true;
}

} // namespace fw
