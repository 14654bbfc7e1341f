// BoardIndex: the spatial index behind the board's hit tests while a frame runs. Declared here so
// the board can hold it; see BoardIndex.cpp for how it keeps list order.
#pragma once

namespace gw {

class TBoardEngine;

class BoardIndex {
public:
    explicit BoardIndex(TBoardEngine& board) : board_(board) {}
    void invalidate() {}

private:
    TBoardEngine& board_;
};

}  // namespace gw
