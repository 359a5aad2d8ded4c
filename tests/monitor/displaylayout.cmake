# Tests of the display layout and the start button.
