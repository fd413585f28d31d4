<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ru_RU">
<context>
    <name>Autostart</name>
    <message>
        <source>не удалось создать папку автозапуска</source>
        <translation>could not create the autostart folder</translation>
    </message>
    <message>
        <source>не удалось заменить ссылку автозапуска</source>
        <translation>could not replace the autostart link</translation>
    </message>
    <message>
        <source>не удалось записать файл автозапуска</source>
        <translation>could not write the autostart file</translation>
    </message>
    <message>
        <source>не удалось удалить файл автозапуска</source>
        <translation>could not remove the autostart file</translation>
    </message>
    <message>
        <source>не найден исполняемый файл программы</source>
        <translation>the program&apos;s executable file was not found</translation>
    </message>
</context>
<context>
    <name>Countdown</name>
    <message numerus="yes">
        <source>%n день </source>
        <extracomment>The day part of a countdown for 1 day; keep the blank at the end.</extracomment>
        <translation>
            <numerusform>%n day </numerusform>
            <numerusform>%n days </numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n дня </source>
        <extracomment>The day part of a countdown for 2 to 4 days; keep the blank at the end.</extracomment>
        <translation>
            <numerusform>%n day </numerusform>
            <numerusform>%n days </numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n дней </source>
        <extracomment>The day part of a countdown for 5 days or more; keep the blank at the end.</extracomment>
        <translation>
            <numerusform>%n day </numerusform>
            <numerusform>%n days </numerusform>
        </translation>
    </message>
    <message>
        <source>Остановлен за 1 сек до конца. На этот раз мир уцелел!</source>
        <translation>Stopped 1 second before the end. The world survived this time!</translation>
    </message>
    <message>
        <source>Вы молодец. Успели отключить таймер.</source>
        <translation>Well done. You stopped the timer in time.</translation>
    </message>
    <message>
        <source>Таймер успешно отключен.</source>
        <translation>The timer has been switched off.</translation>
    </message>
    <message numerus="yes">
        <source>Остановлен за %n сек до конца. Всё балуетесь, Штирлиц.</source>
        <translation>
            <numerusform>Stopped %n second before the end. Still fooling around, Stierlitz.</numerusform>
            <numerusform>Stopped %n seconds before the end. Still fooling around, Stierlitz.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Platform</name>
    <message>
        <source>нет разрешения</source>
        <translation>permission denied</translation>
    </message>
    <message>
        <source>система не ответила</source>
        <translation>no answer from the system</translation>
    </message>
    <message>
        <source>системная служба недоступна</source>
        <translation>system service unavailable</translation>
    </message>
    <message>
        <source>система этого не поддерживает</source>
        <translation>not supported by this system</translation>
    </message>
    <message>
        <source>система занята таким же запросом</source>
        <translation>the system is busy with such a request</translation>
    </message>
    <message>
        <source>система отказала</source>
        <translation>refused by the system</translation>
    </message>
    <message>
        <source>эта система не умеет будить себя сама</source>
        <translation>this system cannot wake itself up</translation>
    </message>
    <message>
        <source>запуск вместе с системой здесь не поддерживается</source>
        <translation>starting at login is not supported here</translation>
    </message>
    <message>
        <source>программа %1 не найдена</source>
        <translation>program %1 not found</translation>
    </message>
    <message>
        <source>программу запустить не удалось</source>
        <translation>the program could not be started</translation>
    </message>
</context>
<context>
    <name>RadioSession</name>
    <message>
        <source>Пожалуйста подождите. Производится подключение.</source>
        <translation>Please wait. Connecting.</translation>
    </message>
    <message>
        <source>Пожалуйста подождите. Идет закрытие соединений.</source>
        <translation>Please wait. Closing the connections.</translation>
    </message>
    <message>
        <source>Активирован тихий режим &quot;Сон&quot;</source>
        <translation>Quiet &quot;Sleep&quot; mode is on</translation>
    </message>
    <message>
        <source>Ошибка загрузки часов</source>
        <translation>Clock loading error</translation>
    </message>
    <message>
        <source>Не найден локальный шаблон часов!<byte value="xd"/>
Переустановите программу.</source>
        <translation>The local clock page was not found!<byte value="xd"/>
Please reinstall the program.</translation>
    </message>
    <message>
        <source>Радио не зазвучало: звонит будильник Ondavo</source>
        <translation>The radio stayed silent: the Ondavo alarm is ringing</translation>
    </message>
    <message>
        <source>Будильник не слышен: звуковой сервер недоступен</source>
        <translation>The alarm cannot be heard: no sound server is available</translation>
    </message>
    <message>
        <source>Ошибка загрузки программы</source>
        <translation>Program loading error</translation>
    </message>
    <message>
        <source>Отсутствуют некоторые файлы программы!<byte value="xd"/>
Переустановите программу.</source>
        <translation>Some of the program&apos;s files are missing!<byte value="xd"/>
Please reinstall the program.</translation>
    </message>
    <message>
        <source>Нет связи с радио: новая попытка через %1 с</source>
        <translation>No connection to the radio: next try in %1 s</translation>
    </message>
</context>
<context>
    <name>Repeat</name>
    <message>
        <source>пн</source>
        <translation>Mon</translation>
    </message>
    <message>
        <source>вт</source>
        <translation>Tue</translation>
    </message>
    <message>
        <source>ср</source>
        <translation>Wed</translation>
    </message>
    <message>
        <source>чт</source>
        <translation>Thu</translation>
    </message>
    <message>
        <source>пт</source>
        <translation>Fri</translation>
    </message>
    <message>
        <source>сб</source>
        <translation>Sat</translation>
    </message>
    <message>
        <source>вс</source>
        <translation>Sun</translation>
    </message>
</context>
<context>
    <name>SystemdWake</name>
    <message>
        <source>Ondavo: пробуждение к будильнику</source>
        <translation>Ondavo: wake-up for the alarm</translation>
    </message>
    <message>
        <source>время пробуждения слишком близко или уже прошло</source>
        <translation>the wake-up time is too close or has passed</translation>
    </message>
</context>
<context>
    <name>TOndavoForm1</name>
    <message>
        <source>Ondavo</source>
        <translation>Ondavo</translation>
    </message>
    <message>
        <source>Радио</source>
        <translation>Radio</translation>
    </message>
    <message>
        <source>Часы</source>
        <translation>Clock</translation>
    </message>
    <message>
        <source>Таймер</source>
        <translation>Timer</translation>
    </message>
    <message>
        <source>Выполнить действие в заданное время</source>
        <translation>Perform an action at a set time</translation>
    </message>
    <message>
        <source>Дата и время:</source>
        <translation>Date and time:</translation>
    </message>
    <message>
        <source>Действие:</source>
        <translation>Action:</translation>
    </message>
    <message>
        <source>День, когда свершится задуманное</source>
        <translation>The day your plan comes true</translation>
    </message>
    <message>
        <source>Час Х</source>
        <translation>Zero hour</translation>
    </message>
    <message>
        <source>Запустить отсчет времени</source>
        <translation>Start the countdown</translation>
    </message>
    <message>
        <source>Установить</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>Остановить отсчет времени</source>
        <translation>Stop the countdown</translation>
    </message>
    <message>
        <source>Снять</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Вот оно как</source>
        <translation>That&apos;s how it is</translation>
    </message>
    <message>
        <source>Действие, которое будет выполнено в установленное время</source>
        <translation>The action to perform at the set time</translation>
    </message>
    <message>
        <source>Командная строка:</source>
        <translation>Command line:</translation>
    </message>
    <message>
        <source>Командная строка, которую нужно выполнить, либо имя файла или папки.</source>
        <translation>The command line to run, or the name of a file or folder.</translation>
    </message>
    <message>
        <source>Выключить Ondavo после запуска команды</source>
        <translation>Close Ondavo after starting the command</translation>
    </message>
    <message>
        <source>Будильник:</source>
        <translation>Alarm:</translation>
    </message>
    <message>
        <source>Повторять:</source>
        <translation>Repeat:</translation>
    </message>
    <message>
        <source>Пн</source>
        <translation>Mo</translation>
    </message>
    <message>
        <source>Вт</source>
        <translation>Tu</translation>
    </message>
    <message>
        <source>Ср</source>
        <translation>We</translation>
    </message>
    <message>
        <source>Чт</source>
        <translation>Th</translation>
    </message>
    <message>
        <source>Пт</source>
        <translation>Fr</translation>
    </message>
    <message>
        <source>Сб</source>
        <translation>Sa</translation>
    </message>
    <message>
        <source>Вс</source>
        <translation>Su</translation>
    </message>
    <message>
        <source>Усыпить компьютер до будильника</source>
        <translation>Put the computer to sleep until the alarm</translation>
    </message>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Ver.</source>
        <translation>Ver.</translation>
    </message>
    <message>
        <source>Скачать новую версию</source>
        <translation>Get the new version</translation>
    </message>
    <message>
        <source>Страничка программы</source>
        <translation>Program home page</translation>
    </message>
    <message>
        <source>© Ondavo, 2009</source>
        <translation>© Ondavo, 2009</translation>
    </message>
    <message>
        <source>Выключить Ondavo</source>
        <translation>Quit Ondavo</translation>
    </message>
    <message>
        <source>Выключить программу</source>
        <translation>Quit the program</translation>
    </message>
    <message>
        <source>F10</source>
        <translation>F10</translation>
    </message>
    <message>
        <source>Unable to write to %1</source>
        <translation>Unable to write to %1</translation>
    </message>
    <message>
        <source>Запускать при входе в систему</source>
        <translation>Start at login</translation>
    </message>
    <message>
        <source>Не удалось изменить запуск при входе в систему: %1</source>
        <translation>Could not change the start at login: %1</translation>
    </message>
    <message>
        <source>Осталось </source>
        <translation>Time left: </translation>
    </message>
    <message>
        <source>Ondavo - Таймер сработает через </source>
        <translation>Ondavo - Timer goes off in </translation>
    </message>
    <message>
        <source>Таймер Ondavo</source>
        <translation>Ondavo timer</translation>
    </message>
    <message>
        <source>Будильник Ondavo</source>
        <translation>Ondavo alarm</translation>
    </message>
    <message>
        <source>Ver. </source>
        <translation>Ver. </translation>
    </message>
    <message>
        <source>Дата</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Время</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Время, когда выполнится действие</source>
        <translation>The time the action runs at</translation>
    </message>
    <message>
        <source>Состояние таймера</source>
        <translation>Timer status</translation>
    </message>
    <message>
        <source>Сколько осталось до действия и что сделал таймер</source>
        <translation>How long until the action, and what the timer did</translation>
    </message>
    <message>
        <source>Будильник, дата</source>
        <translation>Alarm date</translation>
    </message>
    <message>
        <source>Будильник, время</source>
        <translation>Alarm time</translation>
    </message>
    <message>
        <source>Понедельник</source>
        <translation>Monday</translation>
    </message>
    <message>
        <source>Вторник</source>
        <translation>Tuesday</translation>
    </message>
    <message>
        <source>Среда</source>
        <translation>Wednesday</translation>
    </message>
    <message>
        <source>Четверг</source>
        <translation>Thursday</translation>
    </message>
    <message>
        <source>Пятница</source>
        <translation>Friday</translation>
    </message>
    <message>
        <source>Суббота</source>
        <translation>Saturday</translation>
    </message>
    <message>
        <source>Воскресенье</source>
        <translation>Sunday</translation>
    </message>
    <message>
        <source>Компьютер уснёт и проснётся за две минуты до будильника</source>
        <translation>The computer sleeps and wakes two minutes before the alarm</translation>
    </message>
    <message>
        <source>Страница откроется в браузере</source>
        <translation>The page opens in the browser</translation>
    </message>
</context>
<context>
    <name>TimerActions</name>
    <message>
        <source>Выключение программы</source>
        <translation>Close the program</translation>
    </message>
    <message>
        <source>Отключение компьютера</source>
        <translation>Shut down the computer</translation>
    </message>
    <message>
        <source>Переход системы в &quot;Спящий&quot; режим</source>
        <translation>Put the system to &quot;Sleep&quot;</translation>
    </message>
    <message>
        <source>Выполнить команду системы</source>
        <translation>Run a system command</translation>
    </message>
    <message>
        <source>Тихий режим сна + Будильник</source>
        <translation>Quiet sleep + Alarm</translation>
    </message>
    <message numerus="yes">
        <source>Через %n секунд </source>
        <extracomment>The balloon&apos;s lead, followed by what will happen; keep the blank at the end.</extracomment>
        <translation>
            <numerusform>In %n second </numerusform>
            <numerusform>In %n seconds </numerusform>
        </translation>
    </message>
    <message>
        <source>Для перехода к таймеру щелкните по этому сообщению.</source>
        <translation>Click this message to go to the timer.</translation>
    </message>
    <message>
        <source>Таймер Ondavo включен!</source>
        <translation>Ondavo timer is on!</translation>
    </message>
    <message>
        <source>программа Ondavo будет выключена.</source>
        <translation>Ondavo will close.</translation>
    </message>
    <message>
        <source>компьютер будет выключен!</source>
        <translation>the computer will shut down!</translation>
    </message>
    <message>
        <source>компьютер будет переведен в &quot;Спящий&quot; режим!</source>
        <translation>the computer will be put to &quot;Sleep&quot;!</translation>
    </message>
    <message>
        <source>будет запущена команда &quot;%1&quot;</source>
        <translation>the command &quot;%1&quot; will be run</translation>
    </message>
    <message numerus="yes">
        <source>Таймер сработает через %n секунд. </source>
        <extracomment>Keep the blank at the end.</extracomment>
        <translation>
            <numerusform>The timer goes off in %n second. </numerusform>
            <numerusform>The timer goes off in %n seconds. </numerusform>
        </translation>
    </message>
    <message>
        <source>Таймер Ondavo сработает в %1</source>
        <translation>Ondavo timer goes off at %1</translation>
    </message>
    <message>
        <source>Таймер Ondavo: «%1» в %2</source>
        <translation>Ondavo timer: “%1” at %2</translation>
    </message>
    <message>
        <source>Будильник Ondavo включит радио в %1</source>
        <translation>Ondavo alarm turns the radio on at %1</translation>
    </message>
</context>
<context>
    <name>TimerModel</name>
    <message>
        <source>Будильник пропущен: он должен был прозвенеть %1</source>
        <translation>Alarm missed: it was due at %1</translation>
    </message>
    <message>
        <source>Компьютер не выключен: %1</source>
        <translation>Computer not shut down: %1</translation>
    </message>
    <message>
        <source>Компьютер не уснул: %1</source>
        <translation>Computer did not sleep: %1</translation>
    </message>
    <message>
        <source>Компьютер не уснул до будильника: %1</source>
        <translation>Computer did not sleep until the alarm: %1</translation>
    </message>
    <message>
        <source>Система может уснуть до срока таймера: %1</source>
        <translation>System may sleep before the timer: %1</translation>
    </message>
    <message>
        <source>Отложить на %1 минут</source>
        <translation>Snooze for %1 minutes</translation>
    </message>
    <message>
        <source>Тихий режим &quot;Сон&quot; уже включен: сначала нажмите &quot;Снять&quot;</source>
        <translation>Quiet &quot;Sleep&quot; mode is already on: press &quot;Clear&quot; first</translation>
    </message>
    <message>
        <source>Установленное время уже истекло!</source>
        <translation>The set time has already passed!</translation>
    </message>
    <message>
        <source>Время будильника уже истекло!</source>
        <translation>The alarm time has already passed!</translation>
    </message>
    <message>
        <source>Будильник не будет слышен: звуковой сервер недоступен</source>
        <translation>The alarm will not be heard: no sound server is available</translation>
    </message>
    <message>
        <source>Будильник повторяется: следующий %1</source>
        <translation>The alarm repeats: next %1</translation>
    </message>
    <message>
        <source>Будильник: </source>
        <translation>Alarm: </translation>
    </message>
    <message>
        <source>Не удалось открыть %1</source>
        <translation>Could not open %1</translation>
    </message>
    <message>
        <source>Команда не запущена: %1</source>
        <translation>The command did not start: %1</translation>
    </message>
    <message>
        <source>Будильник не принят сервисом: %1</source>
        <translation>The service did not accept the alarm: %1</translation>
    </message>
</context>
<context>
    <name>VolumeItem</name>
    <message>
        <source>Громче</source>
        <translation>Louder</translation>
    </message>
    <message>
        <source>Тише</source>
        <translation>Quieter</translation>
    </message>
    <message>
        <source>Громкость: %1 %</source>
        <translation>Volume: %1 %</translation>
    </message>
</context>
<context>
    <name>WebEnginePane</name>
    <message>
        <source>Браузер недоступен</source>
        <translation>Browser not available</translation>
    </message>
    <message>
        <source>Неверный адрес: %1</source>
        <translation>Invalid address: %1</translation>
    </message>
    <message>
        <source>ответ %1</source>
        <translation>response %1</translation>
    </message>
</context>
</TS>
