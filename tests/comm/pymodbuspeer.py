#!/usr/bin/python3
"""An independent Modbus TCP server on 127.0.0.1:PORT: units 1 to 6, holding
register at address a of unit u = u * 1000 + a."""
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartTcpServer

units = {
    u: ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, [u * 1000 + a for a in range(16)]),
                          zero_mode=True)
    for u in range(1, 7)
}
StartTcpServer(context=ModbusServerContext(slaves=units, single=False),
               address=("127.0.0.1", int(sys.argv[1])))
