#pragma once

struct Limits;

// Keyboard control: which arrow keys are held, and the step that a held arrow gives the
// position and velocity offsets on each tick of the nudge chain.
class KeyNudge
{
public:
    enum class Press
    {
        Ignored,
        Escape, // in the console: the command field takes the escape token
        Nudge   // the nudge chain runs (or goes on running)
    };
    struct Offsets
    {
        float position = 0;
        float velocity = 0;
    };

    // A key press (a Qt::Key) while the console is or is not active and key control is
    // or is not on. Auto-repeats are ignored: holding is seen from press and release.
    Press press(int key, bool autoRepeat, bool consoleActive, bool keyControlOn);
    void release(int key, bool autoRepeat);
    // Forgets every held key, as after a new connection.
    void releaseAll();
    // Whether the chain goes on after the tick under way: some arrow is still held, or
    // a press came since the last release.
    bool armed() const { return m_armed; }
    // The offsets after one tick. Each held arrow moves its offset by a sixtieth of the
    // limit on its side, while the offset has not yet passed half that limit.
    Offsets step(Offsets now, const Limits &bounds) const;

private:
    bool *heldFlag(int key);

    bool m_left = false;
    bool m_right = false;
    bool m_up = false;
    bool m_down = false;
    bool m_armed = false;
};
