#pragma once

// The window's side of switching the adapter between display mode and configuration
// mode: which request a tab click makes, how a refused switch is retried, and which
// tab the tab bar returns to. Tab 3 is the console; tabs 0 to 2 are the plots.
class ModeSwitch
{
public:
    static constexpr int configTab = 3;
    // Retries after the first refused attempt, before the switch is given up.
    static constexpr int maxRetries = 5;

    enum class Step
    {
        None,
        AskConfig,  // stop sending, then ask the adapter for configuration mode
        AskDisplay, // ask the adapter for display mode
        KeepTab,    // the click is ignored: put the tab bar back on `tab`
        FollowTab,  // another plot tab in display mode: the scroll bar follows it
        Retry,      // ask again for the mode just refused
        Entered,    // the mode asked for holds
        GiveUp      // report the failure and return the tab bar to `tab`
    };
    struct Answer
    {
        Step step = Step::None;
        int tab = -1;
    };

    // A port has opened: the first switch, to display mode on the first plot tab.
    Answer connected();
    void disconnected();
    // A click on tab `index` (-1: beside the tabs) while the page `shownTab` is shown.
    Answer tabClicked(int index, bool isConnected, int shownTab);
    // The adapter's answer to the switch asked for; `shownTab` is the page shown now.
    Answer configAnswered(bool accepted, int shownTab);
    Answer displayAnswered(bool accepted, int shownTab);

    // The tab of the mode the adapter is in: 3 in configuration mode, else the plot tab
    // last chosen in display mode.
    int lastTab() const { return m_lastTab; }

private:
    Answer answered(bool accepted, int shownTab, bool &pending, int &retries);

    int m_lastTab = 0;
    int m_configRetries = 0;
    int m_displayRetries = 0;
    bool m_configPending = false;
    bool m_displayPending = false;
};
