#pragma once

// The slider-moving flag of the upload rate limiter. It reads and assigns like the plain
// int the slider code expects, and tells its owner when it goes from 0 to non-zero: the
// 1 ms tick that counts the flag down runs only from then until it is cleared, instead of
// waking an idle tray program a thousand times a second.

#include <functional>

class SliderMovingFlag
{
public:
    SliderMovingFlag() = default;
    SliderMovingFlag(const SliderMovingFlag &) = delete;
    SliderMovingFlag &operator=(const SliderMovingFlag &) = delete;

    SliderMovingFlag &operator=(int value)
    {
        const bool raised = m_value == 0 && value != 0;
        m_value = value;
        if (raised && m_onRaised)
            m_onRaised();
        return *this;
    }
    operator int() const { return m_value; }

    void onRaised(std::function<void()> callback) { m_onRaised = std::move(callback); }

private:
    int m_value = 0;
    std::function<void()> m_onRaised;
};
