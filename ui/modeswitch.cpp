#include "modeswitch.h"

ModeSwitch::Answer ModeSwitch::connected()
{
    m_lastTab = 0;
    m_displayPending = true;
    return {Step::AskDisplay};
}

void ModeSwitch::disconnected()
{
    m_configPending = m_displayPending = false;
    m_configRetries = m_displayRetries = 0;
}

ModeSwitch::Answer ModeSwitch::tabClicked(int index, bool isConnected, int shownTab)
{
    if (!isConnected || index < 0)
        return {};
    if (index == configTab) {
        // The console cannot be asked for until the display switch has been answered.
        if (m_displayPending)
            return {Step::KeepTab, shownTab};
        if (m_lastTab == configTab || m_configPending)
            return {};
        m_configPending = true;
        return {Step::AskConfig, configTab};
    }
    // A plot tab while the console is being asked for: the tab bar stays with the mode
    // being asked for, so that it never disagrees with the adapter.
    if (m_configPending)
        return {Step::KeepTab, configTab};
    // Only the page changes; the answer records the plot tab then shown.
    if (m_displayPending)
        return {};
    if (m_lastTab == configTab) {
        m_displayPending = true;
        return {Step::AskDisplay, index};
    }
    m_lastTab = index;
    return {Step::FollowTab, index};
}

ModeSwitch::Answer ModeSwitch::answered(bool accepted, int shownTab, bool &pending, int &retries)
{
    if (accepted) {
        pending = false;
        retries = 0;
        m_lastTab = shownTab;
        return {Step::Entered, shownTab};
    }
    if (retries < maxRetries) {
        ++retries;
        return {Step::Retry, shownTab};
    }
    pending = false;
    retries = 0;
    return {Step::GiveUp, m_lastTab};
}

ModeSwitch::Answer ModeSwitch::configAnswered(bool accepted, int shownTab)
{
    return answered(accepted, shownTab, m_configPending, m_configRetries);
}

ModeSwitch::Answer ModeSwitch::displayAnswered(bool accepted, int shownTab)
{
    return answered(accepted, shownTab, m_displayPending, m_displayRetries);
}
