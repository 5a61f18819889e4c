// Agents of the computer's other sessions. A terminal server or a shared PC runs
// one agent per session, all sharing the computer's one device, so an agent that
// ends must not take the device from the others. An agent that wants the device
// holds a named mutex, PRODUCT_AGENT_SLOT_PREFIX and "N" when it takes the first box
// listed, the prefix and "a.b.c.d N" when Setting.ini names the box
// a.b.c.d. Windows deletes the name when the last process holding it ends, however it
// ends, so an agent that crashed or was killed never counts as running. No file or
// counter is kept.
#pragma once

// Takes the lowest free slot of the first-box kind for this process, kept until the
// process ends; 1 when it holds one (0 when all are taken: the others then cannot see it).
int ClaimAgentSlot();
// Holds the slot that matches the agent's wish: none while it does not want the device;
// the slot of the named box (its server id; 0: the first-box kind) while it does.
// 1 when the held slot matches (0: all slots of that kind are taken).
int HoldAgentSlot(int bWanted, unsigned int dwServerId);
// 1 when an agent other than this process holds a first-box slot.
int OtherAgentRunning();
// 1 when an agent other than this process may use the box with that server id: one
// that takes the first box, or one that names this box (0: first-box agents only).
int OtherAgentUsing(unsigned int dwServerId);
