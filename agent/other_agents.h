// Agents of the computer's other sessions. A terminal server or a shared PC runs
// one agent per session, all sharing the computer's one device, so an agent that
// ends must not take the device from the others. Each agent holds a named mutex,
// "Global\VELTRIX Q5 agent slot N", for its whole life; Windows deletes the name
// when the last process holding it ends, however it ends, so an agent that crashed
// or was killed never counts as running. No file or counter is kept.
#pragma once

// Takes the lowest free slot for this process, kept until the process ends;
// 1 when it holds one (0 when all are taken: the others then cannot see it).
int ClaimAgentSlot();
// 1 when an agent other than this process holds a slot.
int OtherAgentRunning();
