#pragma once

// The meter table meter.txt.
