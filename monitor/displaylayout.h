#pragma once

// Display layout tables and the divisor table.
