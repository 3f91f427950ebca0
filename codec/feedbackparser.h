#pragma once

#include "motorstate.h"

#include <QtGlobal>

// What one decoder pass over the receive buffer did.
//
// An event is one removal from the front of the buffer: a whole frame, good or
// bad, or a run of bytes skipped while looking for a frame start.
struct FeedbackPass
{
    int consumed = 0; // bytes removed from the front of the buffer
    int events = 0;   // frames and skipped runs
    int errors = 0;   // events that were not good feedback frames
    int stored = 0;   // samples appended to the histories
    int dropped = 0;  // good frames not kept because the histories were full
    // sampleCount has reached the histories' capacity; later samples are not kept.
    bool historiesFull = false;
};

// Cuts the feedback frames at the front of state.rxBuffer, stores the position,
// velocity and current of every good one at index sampleCount of the histories,
// widens the decode ranges and removes what it consumed. An incomplete frame at
// the end stays in the buffer for the next pass. Never stores at an index at or
// beyond the histories' capacity.
// The caller holds stateMutex; the codes decode to the ranges `scale` gives.
FeedbackPass parseFeedback(MotorState &state, const Limits &scale);
