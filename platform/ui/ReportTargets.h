// Where long operations report to: a progress bar and a text (label or status-bar panel).
// The window adapts its widgets to these; tests use plain fakes. Any of them may be absent.
#pragma once

#include <string>

namespace ui {

class IProgressTarget {
public:
    virtual ~IProgressTarget() = default;
    virtual int Min() const = 0;
    virtual int Max() const = 0;
    virtual int Position() const = 0;
    virtual void SetMin(int value) = 0;
    virtual void SetMax(int value) = 0;
    virtual void SetPosition(int value) = 0;
};

class ITextTarget {
public:
    virtual ~ITextTarget() = default;
    virtual std::string Text() const = 0;
    virtual void SetText(const std::string& text) = 0;
};

// Plain in-memory targets: what tests and windowless front ends connect.
class TProgressValue : public IProgressTarget {
public:
    int Min() const override { return min_; }
    int Max() const override { return max_; }
    int Position() const override { return position_; }
    void SetMin(int value) override { min_ = value; }
    void SetMax(int value) override { max_ = value; }
    void SetPosition(int value) override { position_ = value; }

private:
    int min_ = 0, max_ = 100, position_ = 0;
};

class TTextValue : public ITextTarget {
public:
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override { text_ = text; }

private:
    std::string text_;
};

} // namespace ui
