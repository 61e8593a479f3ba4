REM ‰æ‘œ“¯«iMarrowfoldj
REM #jww
REM #cd
REM #hf
REM #e
marrowfold.exe -G
