# The legacy SCADA application: its start screen, its screens and its text styles.
Screens {
  StartScreen = "Plant"
  Screen { File = "Plant.scr" }
  Screen { File = "screens\Boiler.scr" }
}
Styles {
  Style { File = "Title.sty" }
  Style { File = "Value.sty" }
}
