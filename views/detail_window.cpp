// The detail window arrives with the timetable.
